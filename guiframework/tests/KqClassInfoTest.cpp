#include "KqClassInfo.h"

#include <gtest/gtest.h>

namespace {

class TestWidget : public KqRttiObject {
    KQ_DECLARE_CLASS(TestWidget)
public:
    int payload[10] = {};
};
class TestButton : public TestWidget {
    KQ_DECLARE_CLASS(TestButton)
public:
    double extra = 0;
};
class TestWindow : public KqRttiObject {
    KQ_DECLARE_CLASS(TestWindow)
};
class TestClash : public KqRttiObject { // claims TestButton's code
    KQ_DECLARE_CLASS(TestClash)
};
class TestNumberedA : public KqRttiObject {
    KQ_DECLARE_CLASS(TestNumberedA)
};
class TestNumberedB : public TestNumberedA {
    KQ_DECLARE_CLASS(TestNumberedB)
};

KQ_DEFINE_CLASS(TestWidget, KqRttiObject, 'TWID', kqMakeInstance<TestWidget>)
KQ_DEFINE_CLASS(TestButton, TestWidget, 'TBTN', kqMakeInstance<TestButton>)
KQ_DEFINE_CLASS(TestWindow, KqRttiObject, 'TWIN', nullptr)
KQ_DEFINE_CLASS(TestClash, KqRttiObject, 'TBTN', kqMakeInstance<TestClash>)
KQ_DEFINE_CLASS(TestNumberedA, KqRttiObject, 0, nullptr)
KQ_DEFINE_CLASS(TestNumberedB, TestNumberedA, 0, nullptr)

TEST(KqClassInfoTest, RegistrationOrderFixesNumbersAndFirstClaimWins)
{
    kqRegisterFrameworkClasses();
    kqRegisterClass("TestWidget", &TestWidget::classInfo, 'TWID');
    kqRegisterClass("TestButton", &TestButton::classInfo, 'TBTN');
    kqRegisterClass("TestNumberedA", &TestNumberedA::classInfo, 0);
    kqRegisterClass("TestNumberedB", &TestNumberedB::classInfo, 0);
    kqRegisterClass("TestClash", &TestClash::classInfo, 'TBTN');
    EXPECT_EQ(0x4954454D, 'ITEM');
    // The framework's 48 event classes take numbers 1-48 first.
    EXPECT_EQ(49, TestNumberedA::classInfo()->code);
    EXPECT_EQ(50, TestNumberedB::classInfo()->code);
    KqClassRegistry* registry = KqClassRegistry::instance();
    EXPECT_EQ(TestButton::classInfo(), registry->findId('TBTN'));
    EXPECT_EQ(nullptr, registry->find(KqString(u"TestClash")));
    EXPECT_EQ(KqRttiObject::classInfo(), registry->find(KqString(u"KqRttiObject")));
    // A second class under a known name leaves the first.
    KqClassInfo impostor("TestWidget", 'IMPO', nullptr, KqRttiObject::classInfo(), 4);
    EXPECT_EQ(TestWidget::classInfo(), registry->find(KqString(u"TestWidget")));
    EXPECT_FALSE(registry->containsId('IMPO'));
}

TEST(KqClassInfoTest, TypeTestsWalkTheBaseChain)
{
    kqRegisterFrameworkClasses();
    TestButton* button = new TestButton;
    TestWindow* window = new TestWindow;
    struct Case { KqRttiObject* object; const KqClassInfo* info; bool kind; };
    const Case cases[] = {
        {button, TestButton::classInfo(), true}, {button, TestWidget::classInfo(), true},
        {button, KqRttiObject::classInfo(), true}, {button, TestWindow::classInfo(), false},
        {window, TestWidget::classInfo(), false}, {window, TestWindow::classInfo(), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.kind, c.object->isKindOf(c.info));
    EXPECT_TRUE(button->isKindOf(KqString(u"TestWidget")));
    EXPECT_FALSE(button->isKindOf(KqString(u"NoSuchClass")));
    EXPECT_EQ(button, kq_cast<TestWidget>(static_cast<KqRttiObject*>(button)));
    EXPECT_EQ(nullptr, kq_cast<TestWindow>(static_cast<KqRttiObject*>(button)));
    EXPECT_EQ(nullptr, kq_cast<TestWidget>(static_cast<KqRttiObject*>(nullptr)));
    EXPECT_EQ(!mp_disabled(), mp_owns(button)); // a pool that is off owns nothing
    EXPECT_EQ(static_cast<size_t>(mp_size_class(sizeof(TestButton)) >= 0 ? mp_size(button) : 0), mp_size(button));
    EXPECT_EQ(static_cast<int32_t>(sizeof(TestButton)), TestButton::classInfo()->size);
    EXPECT_GE(mp_size(button), sizeof(TestButton));
    EXPECT_LT(mp_size(button), sizeof(TestButton) + 32);
    delete button;
    delete window;
}

TEST(KqClassInfoTest, CreateByName)
{
    kqRegisterFrameworkClasses();
    kqRegisterClass("TestButton", &TestButton::classInfo, 'TBTN');
    const KqClassInfo* info = KqClassRegistry::instance()->find(KqString(u"TestButton"));
    ASSERT_TRUE(info);
    KqRttiObject* made = info->create();
    ASSERT_TRUE(made);
    EXPECT_EQ(TestButton::classInfo(), made->dynamicClassInfo());
    delete made;
    EXPECT_EQ(nullptr, TestWindow::classInfo()->create());
}

// Subclasses without a descriptor of their own: the block still holds them.
struct Undeclared : KqRttiObject {
    char payload[40] = {};
};
struct UndeclaredButton : TestButton {
    void* extra[6] = {};
};

TEST(KqClassInfoTest, UndeclaredSubclassesGetBlocksOfTheirSize)
{
    Undeclared* plain = new Undeclared;
    UndeclaredButton* button = new UndeclaredButton;
    EXPECT_GE(mp_size(plain), sizeof(Undeclared));
    EXPECT_GE(mp_size(button), sizeof(UndeclaredButton));
    EXPECT_EQ(TestButton::classInfo(), button->dynamicClassInfo());
    plain->payload[39] = 1;
    button->extra[5] = button;
    delete plain;
    delete button;
}

} // namespace
