#include "KqCursor.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// Handles are the system ids; counts the calls that change the screen.
class CountingBackend : public KqCursorBackend {
public:
    void* load(int systemId) override { return reinterpret_cast<void*>(static_cast<uintptr_t>(systemId)); }
    void* current() override { return onScreen; }
    void set(void* handle) override
    {
        onScreen = handle;
        ++sets;
    }
    void* onScreen = nullptr;
    int sets = 0;
};

uintptr_t shown(CountingBackend& b) { return reinterpret_cast<uintptr_t>(b.onScreen); }

TEST(KqCursorTest, SetCursorOnlyWhenTheScreenChanges)
{
    CountingBackend backend;
    KqCursorManager::setBackend(&backend);
    {
        KqCursorManager manager;
        manager.setCursorShape(0);
        EXPECT_EQ(32512u, shown(backend));
        backend.sets = 0;
        manager.setCursorShape(13);
        manager.setCursorShape(13);
        EXPECT_EQ(1, backend.sets);
        EXPECT_EQ(32649u, shown(backend));

        manager.pushCursor();
        manager.setCursorShape(4);
        EXPECT_EQ(32513u, shown(backend));
        manager.popCursor();
        EXPECT_EQ(32649u, shown(backend));
        EXPECT_EQ(0, manager.savedCount());
        manager.popCursor(); // empty stack: nothing
        EXPECT_EQ(32649u, shown(backend));

        int before = backend.sets;
        manager.setCursorShape(24);
        manager.setCursorShape(25);
        EXPECT_EQ(before, backend.sets);
        EXPECT_EQ(nullptr, manager.dataFor(24));
        const int arrows[] = {10, 11, 12, 20};
        for (int shape : arrows) {
            manager.setCursorShape(shape);
            EXPECT_EQ(32512u, shown(backend)) << shape;
        }
        EXPECT_EQ(manager.dataFor(10), manager.dataFor(10));
    }
    KqCursorManager::setBackend(nullptr);
}

TEST(KqCursorTest, ShapesMapToSystemCursors)
{
    const struct { int shape; int id; } cases[] = {{0, 32512}, {1, 32516}, {2, 32515}, {3, 32514}, {4, 32513},
        {5, 32645}, {6, 32644}, {7, 32643}, {8, 32642}, {9, 32646}, {13, 32649}, {14, 32648}, {15, 32651},
        {16, 32650}, {17, 32512}, {24, 0}, {25, 0}, {26, 32512}};
    for (const auto& c : cases)
        EXPECT_EQ(c.id, kqSystemCursorId(c.shape)) << c.shape;
}

} // namespace
