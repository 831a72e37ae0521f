#include "KqApplication.h"
#include "KqCharFormat.h"
#include "KqClipboard.h"
#include "KqDocumentValidater.h"
#include "KqEvent.h"
#include "KqGraphicsEditText.h"
#include "KqGraphicsFrameItem.h"
#include "KqGraphicsScene.h"
#include "KqInputFocusPainter.h"
#include "KqPainter.h"
#include "KqSimpleEdit.h"
#include "KqTextDocument.h"
#include "KqTimer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

KqApplication* g_app;
struct AppEnvironment : testing::Environment {
    void SetUp() override
    {
        kqRegisterFrameworkClasses();
        g_app = new KqApplication;
    }
    void TearDown() override { delete g_app; }
};
testing::Environment* const g_env = testing::AddGlobalTestEnvironment(new AppEnvironment);

// Every unit 7 pixels wide, or 14 from 256 up; lines 12 high.
KqSizeF fixedAdvances(const KqFont&, const KqString& text)
{
    double width = 0;
    for (int i = 0; i < text.length(); ++i)
        width += text.unitAt(i) < 256 ? 7 : 14;
    return KqSizeF{width, 12};
}

int16_t g_controlDown = 0;
int16_t fakeKeyState(int key) { return key == 0x11 ? g_controlDown : 0; }

std::string ascii(const KqString& s)
{
    std::string out;
    for (int i = 0; i < s.length(); ++i)
        out += s.unitAt(i) < 128 ? char(s.unitAt(i)) : '#';
    return out;
}

struct Edit {
    KqGraphicsScene scene;
    KqSimpleEdit* edit = new KqSimpleEdit;
    Edit()
    {
        kqSetTextMeasureSource(fixedAdvances);
        kqSetKeyStateSource(fakeKeyState);
        scene.addItem(edit);
        scene.setFocus(edit, 0); // keys and characters go to the focused item
    }
    ~Edit()
    {
        delete edit;
        kqSetKeyStateSource(nullptr);
        kqSetTextMeasureSource(nullptr);
    }
    KqTextDocument* doc() const { return edit->document(); }
    void set(const char* text, int cursor, int anchor)
    {
        doc()->clear();
        doc()->appendText(KqString(text));
        doc()->cursor().setPosition(cursor);
        doc()->anchor().setPosition(anchor);
    }
    bool key(int vk, uint8_t flags = 0)
    {
        KqKeyDownEvent e(vk);
        e.modifierFlags = flags;
        return scene.sendEvent(edit, &e);
    }
    void type(int32_t c)
    {
        KqCharEvent e(c);
        scene.sendEvent(edit, &e);
    }
    void type(const char* text)
    {
        for (const char* p = text; *p; ++p)
            type(int32_t(*p));
    }
    void mouse(KqMouseEvent& e, int x)
    {
        e.button = KqMouseEvent::LeftButton;
        e.scenePos = KqPoint(x, 10);
        scene.sendEvent(edit, &e);
    }
    std::string state() const
    {
        return ascii(doc()->text()) + "|" + std::to_string(doc()->cursor().position()) + "|" + std::to_string(doc()->anchor().position());
    }
};

const uint8_t kShift = KqKeyEvent::ShiftFlag, kControl = KqKeyEvent::ControlFlag;

TEST(KqSimpleEditTest, BuiltAsTheSkinnedField)
{
    Edit f;
    EXPECT_EQ(KqString(u"SimpleEdit"), f.edit->objectName());
    EXPECT_EQ(102, f.edit->width());
    EXPECT_EQ(23, f.edit->height());
    EXPECT_EQ(uint32_t(KqGraphicsItem::TabFocus | KqGraphicsItem::ClickFocus), f.edit->focusPolicy());
    KqGraphicsEditText* text = f.edit->editText();
    EXPECT_EQ(KqString(u"text"), text->objectName());
    EXPECT_EQ(KqRectF(2, 2, 98, 19), text->geometry());
    EXPECT_TRUE(text->testFlag(KqGraphicsItem::ClippedContent));
    EXPECT_EQ(1, f.doc()->validatorCount());
    EXPECT_EQ(6, f.edit->background()->margins().left);
}

TEST(KqSimpleEditTest, KeysOverSelectionsFromEitherEnd)
{
    const struct {
        const char* text;
        int cursor, anchor, vk;
        uint8_t flags;
        const char* expected;
    } cases[] = {
        {"abcd", 2, 2, 0x25, 0, "abcd|1|1"},
        {"abcd", 3, 1, 0x25, 0, "abcd|1|1"},       // Left collapses to the start
        {"abcd", 1, 3, 0x25, 0, "abcd|1|1"},
        {"abcd", 1, 3, 0x27, 0, "abcd|3|3"},       // Right to the end
        {"abcd", 3, 1, 0x27, 0, "abcd|3|3"},
        {"abcd", 2, 2, 0x25, kShift, "abcd|1|2"},  // Shift+Left grows by one
        {"abcd", 3, 1, 0x25, kShift, "abcd|2|1"},
        {"abcd", 0, 0, 0x25, 0, "abcd|0|0"},
        {"abcd", 4, 4, 0x27, 0, "abcd|4|4"},
        {"abcd", 2, 2, 0x23, 0, "abcd|4|4"},       // End
        {"abcd", 2, 2, 0x23, kShift, "abcd|4|2"},
        {"abcd", 2, 1, 0x24, 0, "abcd|0|0"},       // Home
        {"ab  cd", 0, 0, 0x27, kControl, "ab  cd|4|4"},
        {"ab  cd", 0, 0, 0x27, kControl | kShift, "ab  cd|4|0"},
        {"ab  cd", 6, 6, 0x25, kControl, "ab  cd|4|4"},
        {"abcd", 1, 1, 'A', kControl, "abcd|4|0"}, // select all
        {"abcd", 1, 3, 0x2E, 0, "ad|1|1"},         // Delete a selection
        {"abcd", 3, 1, 0x2E, 0, "ad|1|1"},
        {"abcd", 1, 1, 0x2E, 0, "acd|1|1"},
        {"abcd", 4, 4, 0x2E, 0, "abcd|4|4"},
        {"abcd", 2, 2, 0x70, 0, "abcd|2|2"},       // other keys do nothing
    };
    Edit f;
    for (const auto& c : cases) {
        f.set(c.text, c.cursor, c.anchor);
        f.key(c.vk, c.flags);
        EXPECT_EQ(c.expected, f.state()) << c.text << " " << c.cursor << "/" << c.anchor << " key " << c.vk << " flags " << int(c.flags);
    }
}

TEST(KqSimpleEditTest, TypingReplacesSelectionsAndSkipsControlCharacters)
{
    const struct {
        const char* text;
        int cursor, anchor;
        int32_t character;
        int16_t control;
        const char* expected;
    } cases[] = {
        {"abcd", 1, 3, 'x', 0, "axd|2|2"},
        {"abcd", 3, 1, 'x', 0, "axd|2|2"},
        {"abcd", 4, 4, 'x', 0, "abcdx|5|5"},
        {"abcd", 0, 0, 8, 0, "abcd|0|0"},  // Backspace at the start
        {"abcd", 2, 2, 8, 0, "acd|1|1"},
        {"abcd", 3, 1, 8, 0, "ad|1|1"},
        {"abcd", 2, 2, 27, 0, "abcd|2|2"}, // Esc
        {"abcd", 2, 2, 10, 0, "abcd|2|2"}, // line feed
        {"abcd", 2, 2, 0x7F, 0, "abcd|2|2"},
        {"abcd", 2, 2, 9, 0, "abcd|2|2"},
        {"abcd", 2, 2, 13, 0, "abcd|2|2"},
        {"abcd", 2, 2, 0, 0, "abcd|2|2"},
        {"abcd", 2, 2, 'x', int16_t(0x8000), "abcd|2|2"}, // Control held
    };
    Edit f;
    for (const auto& c : cases) {
        f.set(c.text, c.cursor, c.anchor);
        g_controlDown = c.control;
        f.type(c.character);
        EXPECT_EQ(c.expected, f.state()) << c.text << " " << c.cursor << "/" << c.anchor << " char " << c.character;
    }
    g_controlDown = 0;
}

TEST(KqSimpleEditTest, ClipboardKeys)
{
    KqClipboard* clipboard = KqClipboard::instance();
    const struct {
        const char* text;
        int cursor, anchor, vk;
        const char16_t* clipboardBefore;
        const char* expected;
        const char* clipboardAfter;
    } cases[] = {
        {"abcd", 3, 1, 'C', u"old", "abcd|3|1", "bc"},
        {"abcd", 2, 2, 'C', u"old", "abcd|2|2", "abcd"}, // nothing selected: the whole text
        {"", 0, 0, 'C', u"old", "|0|0", "old"},          // nothing to copy
        {"abcd", 1, 3, 'X', u"old", "ad|1|1", "bc"},
        {"abcd", 2, 2, 'X', u"old", "|0|0", "abcd"},
        {"abcd", 1, 3, 'V', u"XY", "aXYd|3|3", "XY"},
        {"abcd", 4, 4, 'V', u"XY", "abcdXY|6|6", "XY"},
        {"abcd", 2, 2, 'V', u"one\r\ntwo", "abonecd|5|5", nullptr}, // one line of it
        {"abcd", 2, 2, 'V', u"\nlater", "abcd|2|2", nullptr},
    };
    Edit f;
    for (const auto& c : cases) {
        f.set(c.text, c.cursor, c.anchor);
        clipboard->setText(KqString(c.clipboardBefore));
        f.key(c.vk, kControl);
        EXPECT_EQ(c.expected, f.state()) << c.text << " " << c.cursor << "/" << c.anchor << " Ctrl+" << char(c.vk);
        if (c.clipboardAfter)
            EXPECT_EQ(c.clipboardAfter, ascii(clipboard->text())) << "Ctrl+" << char(c.vk);
    }
    // A read-only field neither takes nor gives up text by cut or paste.
    f.edit->setReadOnly(true);
    f.set("abcd", 1, 3);
    clipboard->setText(KqString("XY"));
    f.key('V', kControl);
    f.key('X', kControl);
    f.type('z');
    EXPECT_EQ("abcd", ascii(f.doc()->text()));
    EXPECT_EQ("XY", ascii(clipboard->text()));
}

TEST(KqSimpleEditTest, WidthValidatorCountsWideUnitsTwice)
{
    Edit f;
    f.doc()->addValidator(new KqNumWidthDocValidater(4));
    f.type("abcd");
    f.type('e');
    EXPECT_EQ("abcd|4|4", f.state());
    f.key('A', kControl);
    f.type(8);
    EXPECT_EQ("|0|0", f.state());
    f.type(0x4E2D);
    f.type(0x6587);
    f.type(0x5B57);
    f.type('a');
    EXPECT_EQ("##|2|2", f.state());
    f.type(8);
    f.type('a');
    f.type('b');
    f.type('c');
    EXPECT_EQ("#ab|3|3", f.state());
}

// Counts the text-edit events the edit receives.
struct EditEvents : KqTrackable {
    std::string log;
    void record(KqGraphicsItem*, KqEvent* event)
    {
        KqTextEditEvent* e = static_cast<KqTextEditEvent*>(event);
        log += (e->kind == 1 ? "+" : "-") + std::string(1, char(e->value.toInt()));
    }
};

TEST(KqSimpleEditTest, MouseSelectsAndChangesAreReported)
{
    Edit f;
    EditEvents events;
    f.edit->eventSignalDispatch()->connect(KqTextEditEvent::classInfo(), &events, &EditEvents::record);
    f.type("abcdefgh");
    f.type(8);
    EXPECT_EQ("+a+b+c+d+e+f+g+h-h", events.log);

    // Unit j is hit while x <= 1 + 7 (j + 1) - 2 in the text, which starts at 2.
    KqMouseDownEvent down;
    f.mouse(down, 2 + 15);
    EXPECT_EQ("abcdefg|2|2", f.state());
    KqMouseMoveEvent move;
    f.mouse(move, 2 + 30);
    EXPECT_EQ("abcdefg|4|2", f.state());
    KqMouseUpEvent up;
    f.mouse(up, 2 + 30);
    KqMouseMoveEvent after;
    f.mouse(after, 2 + 45); // no longer selecting
    EXPECT_EQ("abcdefg|4|2", f.state());
    KqMouseDbClickEvent twice;
    f.mouse(twice, 10);
    EXPECT_EQ("abcdefg|7|0", f.state());
}

TEST(KqSimpleEditTest, CaretStaysInsideTheField)
{
    Edit f;
    f.type("abcdefghijklmnopqrst"); // 140 pixels in a 98-pixel text
    // The caret (2 + 140 - 3 in the edit) goes one pixel inside the right edge.
    EXPECT_EQ(100 - 139 - 1, f.edit->editText()->scrollOffset().x);
    f.key(0x24);
    EXPECT_EQ(0, f.edit->editText()->scrollOffset().x);
    f.key(0x23);
    EXPECT_EQ(-40, f.edit->editText()->scrollOffset().x);
    // Hits take the scroll into account: the last unit is under x 2 + 98 - 2.
    KqMouseDownEvent down;
    f.mouse(down, 2 + 96);
    EXPECT_EQ(19, f.doc()->cursor().position());
}

bool caretAt(const KqPaintEngine& engine, int x, int y) { return engine.pixel(x, y) == 0xFF000000u; }

TEST(KqSimpleEditTest, OnlyTheFocusedEditBlinks)
{
    Edit f;
    KqSimpleEdit* other = new KqSimpleEdit;
    f.scene.addItem(other);
    other->setPos(0, 40);
    KqInputFocusPainter* blink = KqInputFocusPainter::instance();

    f.scene.setFocus(f.edit, 0);
    KqFocusInEvent in;
    f.scene.sendEvent(f.edit, &in);
    EXPECT_EQ(f.edit, blink->focusedEdit());
    EXPECT_TRUE(blink->timer()->isActive());
    EXPECT_EQ(600, blink->timer()->interval());

    KqImagePaintEngine target(110, 70);
    KqPainter painter(&target);
    auto draw = [&] {
        target.erase(KqRect(), false);
        f.scene.drawItems(&painter, nullptr, KqRectF(0, 0, 110, 70));
    };
    // An empty field's caret stands one pixel into the text (2 + 1).
    draw();
    EXPECT_TRUE(caretAt(target, 3, 10));
    EXPECT_FALSE(caretAt(target, 3, 50)); // not in the other edit
    draw(); // no tick since: no caret
    EXPECT_FALSE(caretAt(target, 3, 10));
    blink->tick(); // hidden phase
    draw();
    EXPECT_FALSE(caretAt(target, 3, 10));
    blink->tick();
    draw();
    EXPECT_TRUE(caretAt(target, 3, 10));
    // Typing switches it on again at once.
    draw();
    f.type('a');
    draw();
    EXPECT_TRUE(caretAt(target, 2 + 7 - 3, 10));

    KqFocusOutEvent out;
    f.scene.clearFocus();
    f.scene.sendEvent(f.edit, &out);
    EXPECT_EQ(nullptr, blink->focusedEdit());
    EXPECT_FALSE(blink->timer()->isActive());
    delete other;
}

TEST(KqSimpleEditTest, SelectionIsTintedAcrossItsUnits)
{
    Edit f;
    f.set("abcdefgh", 1, 1);
    KqImagePaintEngine plain(110, 30), selected(110, 30);
    KqPainter plainPainter(&plain), selectedPainter(&selected);
    f.scene.drawItems(&plainPainter, nullptr, KqRectF(0, 0, 110, 30));
    f.doc()->anchor().setPosition(4);
    f.scene.drawItems(&selectedPainter, nullptr, KqRectF(0, 0, 110, 30));
    // From the caret line at 1 (2 + 7 - 2) to the one at 4 (2 + 28 - 2), inclusive.
    for (int x = 0; x < 110; ++x) {
        const bool inside = x >= 7 && x <= 28;
        EXPECT_EQ(inside, plain.pixel(x, 3) != selected.pixel(x, 3)) << x;
    }
    // Blue 151 at alpha 64 over the field.
    const uint32_t tinted = selected.pixel(10, 3), untinted = plain.pixel(10, 3);
    const int tint[] = {0, 0, 151};
    for (int c = 0; c < 3; ++c) {
        const int shift = 16 - 8 * c;
        const double expected = ((untinted >> shift) & 0xFF) * (191.0 / 255) + tint[c] * (64.0 / 255);
        EXPECT_NEAR(expected, double((tinted >> shift) & 0xFF), 1.0) << "channel " << c;
    }
}

TEST(KqSimpleEditTest, FactoriesBuildTheEditingClasses)
{
    const char* names[] = {"KqGraphicsEditText", "KqSimpleEdit", "KqLineEdit", "KqSimpleEditEventHandler", "KqNumWidthDocValidater",
                           "KqEditEventListener", "KqInputFocusPainter", "KqTextDocument", "KqTextLayoutEngine", "KqCharFormat", "KqTextCursor"};
    for (const char* name : names) {
        const KqClassInfo* info = KqClassRegistry::instance()->find(KqString(name));
        ASSERT_NE(nullptr, info) << name;
        KqRttiObject* object = info->create();
        EXPECT_NE(nullptr, object) << name;
        delete object;
    }
    KqLineEdit line;
    EXPECT_TRUE(line.isKindOf(KqSimpleEdit::classInfo()));
    EXPECT_EQ(KqString(u"SimpleEdit"), line.objectName());
}

} // namespace
