#include "KqObject.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string g_log;

struct Node : KqObject {
    Node(char name_, KqObject* parent) : KqObject(parent), name(name_) {}
    ~Node() override
    {
        g_log += name;
        g_log += parent() ? '+' : '0';
    }
    char name;
};

TEST(KqObjectTest, ChildrenDieInJoiningOrderWithNullParents)
{
    g_log.clear();
    Node* root = new Node('r', nullptr);
    Node* b = new Node('b', root);
    new Node('a', root);
    Node* c = new Node('c', root);
    new Node('x', b);
    b->setParent(root); // already the parent: order kept
    EXPECT_EQ(b, root->children().at(0));
    c->setParent(b);
    c->setParent(root); // leaves b, joins the end again
    delete root;
    EXPECT_EQ("r0b0x0a0c0", g_log);
}

TEST(KqObjectTest, GuardedPointersAreNulledAndSlotsReused)
{
    Node* object = new Node('g', nullptr);
    KqPointer first(object), second(object), third(object);
    KqPointer::registerSlot(&first.slot());
    KqPointer::registerSlot(&second.slot());
    KqPointer::unregisterSlot(&first.slot());
    KqPointer::registerSlot(&third.slot()); // takes the freed entry
    {
        KqObjectGuard guard(object);
        EXPECT_TRUE(guard.alive());
        delete object;
        EXPECT_FALSE(guard.alive());
    }
    EXPECT_EQ(object, first.get()); // unregistered: never written
    EXPECT_EQ(nullptr, second.get());
    EXPECT_EQ(nullptr, third.get());
}

struct Item : KqRttiObject {
    explicit Item(int* deaths_) : deaths(deaths_) {}
    ~Item() override { ++*deaths; }
    int* deaths;
};

TEST(KqObjectTest, WeakPointersFollowTheObject)
{
    int deaths = 0;
    Item* item = new Item(&deaths);
    KqWeakPointer weak(item);
    KqWeakPointer copy(weak);
    EXPECT_EQ(item, copy.get());
    delete item;
    EXPECT_EQ(nullptr, weak.get());
    KqWeakPointer fromDead(weak);
    EXPECT_EQ(nullptr, fromDead.get());
    KqWeakPointer assigned;
    assigned = weak;
    EXPECT_EQ(nullptr, assigned.get());
    // Records come back for reuse.
    int before = kqWeakRecycledCount();
    weak.reset();
    copy.reset();
    Item* next = new Item(&deaths);
    KqWeakPointer again(next);
    EXPECT_EQ(before - 1, kqWeakRecycledCount());
    delete next;
}

TEST(KqObjectTest, DeferredDeletionDeletesOnceOnTheNextFlush)
{
    int deaths = 0;
    KqDeferredDeleter* deleter = KqDeferredDeleter::instance();
    Item* item = new Item(&deaths);
    Item* other = new Item(&deaths);
    deleter->append(item);
    deleter->append(item);
    deleter->append(other);
    EXPECT_EQ(0, deaths); // not during the call that queued it
    EXPECT_TRUE(deleter->wantsTicks());
    delete other; // died meanwhile: skipped
    EXPECT_EQ(1, deaths);
    deleter->flush();
    EXPECT_EQ(2, deaths);
    EXPECT_EQ(0, deleter->pending());
    EXPECT_FALSE(deleter->wantsTicks());
}

} // namespace
