#include "KqCharFormat.h"
#include "KqDocumentValidater.h"
#include "KqTextDocument.h"
#include "KqTextLayoutEngine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every unit 7 pixels wide, or 14 from 256 up; lines 12 high.
KqSizeF fixedAdvances(const KqFont&, const KqString& text)
{
    double width = 0;
    for (int i = 0; i < text.length(); ++i)
        width += text.unitAt(i) < 256 ? 7 : 14;
    return KqSizeF{width, 12};
}

struct FixedMetrics {
    FixedMetrics() { kqSetTextMeasureSource(fixedAdvances); }
    ~FixedMetrics() { kqSetTextMeasureSource(nullptr); }
};

std::string ascii(const KqString& s)
{
    std::string out;
    for (int i = 0; i < s.length(); ++i)
        out += char(s.unitAt(i));
    return out;
}

KqTextDocument* documentWith(const char* text)
{
    KqTextDocument* d = new KqTextDocument;
    d->appendText(KqString(text));
    return d;
}

TEST(KqTextCursorTest, MovesStayInsideTheText)
{
    struct Case {
        const char* text;
        int from;
        void (*move)(KqTextCursor&);
        int expected;
    };
    const Case cases[] = {
        {"ab  cd", 0, [](KqTextCursor& c) { c.wordRight(1); }, 4},
        {"ab  cd", 6, [](KqTextCursor& c) { c.wordLeft(1); }, 4},
        {"ab  cd", 3, [](KqTextCursor& c) { c.wordLeft(1); }, 0},
        {"ab  cd", 4, [](KqTextCursor& c) { c.wordRight(1); }, 6},
        {"ab cd ef", 0, [](KqTextCursor& c) { c.wordRight(2); }, 6},
        {"ab", 0, [](KqTextCursor& c) { c.moveLeft(1); }, 0},
        {"ab", 2, [](KqTextCursor& c) { c.moveRight(1); }, 2},
        {"ab", 1, [](KqTextCursor& c) { c.moveRight(5); }, 2},
        {"ab", 1, [](KqTextCursor& c) { c.setPosition(-4); }, 0},
        {"ab\ncd\nef", 4, [](KqTextCursor& c) { c.startOfLine(); }, 3},
        {"ab\ncd\nef", 4, [](KqTextCursor& c) { c.endOfLine(); }, 5},
        {"ab\ncd\nef", 7, [](KqTextCursor& c) { c.endOfLine(); }, 8},
        {"ab\ncd\nef", 4, [](KqTextCursor& c) { c.lineUp(); }, 1},
        {"ab\ncd\nef", 4, [](KqTextCursor& c) { c.lineDown(); }, 7},
        {"ab\ncd\nef", 5, [](KqTextCursor& c) { c.moveToStart(); }, 0},
        {"ab\ncd\nef", 5, [](KqTextCursor& c) { c.moveToEnd(); }, 8},
    };
    for (const Case& c : cases) {
        KqTextDocument* d = documentWith(c.text);
        d->cursor().setPosition(c.from);
        c.move(d->cursor());
        EXPECT_EQ(c.expected, d->cursor().position()) << c.text << " from " << c.from;
        delete d;
    }
}

// Refuses one unit in the chosen phase and counts what it is told.
struct Picky : KqDocumentValidater {
    Picky(uint32_t phase, KqChar refused_)
    {
        enabled = true;
        kinds = Insertions | Removals;
        phases = phase;
        refused = refused_;
    }
    bool validateInsert(uint16_t unit, int) override
    {
        ++inserts;
        return unit != refused;
    }
    bool validateRemove(uint16_t, int) override
    {
        ++removes;
        return true;
    }
    KqChar refused;
    int inserts = 0, removes = 0;
};

TEST(KqTextDocumentTest, LengthLimitStopsAtTheLimit)
{
    KqTextDocument d;
    EXPECT_EQ(0x10000, d.maxLength());
    for (int i = 0; i < 0x10000; ++i)
        ASSERT_TRUE(d.appendChar(u'x'));
    EXPECT_FALSE(d.appendChar(u'y'));
    EXPECT_EQ(0x10000, d.length());

    KqTextDocument small;
    small.setMaxLength(3);
    EXPECT_EQ(3, small.insertText(KqString("abcdef")));
    EXPECT_EQ("abc", ascii(small.text()));
    small.setMaxLength(0); // no limit
    EXPECT_EQ(3, small.appendText(KqString("def")));
    EXPECT_EQ(6, small.length());
    // Positions outside the text are refused and change nothing.
    EXPECT_FALSE(small.insertChar(u'z', 7));
    EXPECT_FALSE(small.insertChar(u'z', -2));
    EXPECT_FALSE(small.removeChar(6));
    EXPECT_EQ("abcdef", ascii(small.text()));
}

TEST(KqTextDocumentTest, ValidatorsRefuseBeforeOrRollBackAfter)
{
    KqTextDocument d;
    Picky* before = new Picky(KqDocumentValidater::Before, u'!');
    d.addValidator(before);
    EXPECT_EQ(&d, before->document());
    EXPECT_EQ(2, d.insertText(KqString("ab!cd")));
    EXPECT_EQ("ab", ascii(d.text()));
    EXPECT_EQ(1, d.runCount());
    EXPECT_EQ(0, d.runStart(0));

    Picky* after = new Picky(KqDocumentValidater::After, u'?');
    d.addValidator(after);
    const int beforeInserts = before->inserts;
    EXPECT_FALSE(d.insertChar(u'?', 1));
    EXPECT_EQ("ab", ascii(d.text())); // the refused unit did not stay
    EXPECT_EQ(beforeInserts + 1, before->inserts);
    EXPECT_EQ(1, before->removes); // and those that counted it saw it go
    EXPECT_TRUE(d.insertChar(u'c', 1));
    EXPECT_EQ("acb", ascii(d.text()));

    // Suspended validators are not asked.
    d.setValidatorsSuspended(true);
    EXPECT_TRUE(d.insertChar(u'!'));
    d.setValidatorsSuspended(false);
    EXPECT_EQ("acb!", ascii(d.text()));

    EXPECT_TRUE(d.removeChar(0));
    EXPECT_EQ("cb!", ascii(d.text()));
    d.cursor().setPosition(3);
    d.anchor().setPosition(1);
    d.clear();
    EXPECT_EQ(0, d.length());
    EXPECT_EQ(0, d.cursor().position());
    EXPECT_EQ(0, d.anchor().position());
    EXPECT_EQ(1, d.runCount());
}

TEST(KqTextLayoutTest, LayoutHitTestsCaretAndSelection)
{
    FixedMetrics metrics;
    KqTextLayoutEngine engine;
    KqTextDocument* d = documentWith("abc");
    const KqLayoutOrigin origin{10, 5, 200};

    std::vector<KqRectF> rects;
    std::vector<KqCharFormat*> formats;
    ASSERT_TRUE(engine.layout(d, origin, rects, formats));
    ASSERT_EQ(1u, rects.size());
    EXPECT_EQ(KqRectF(10, 5, 21, 12), rects[0]);
    EXPECT_EQ(d->runFormat(0), formats[0]);
    engine.setLayoutRect(KqRectF(10, 5, 100, 10));
    EXPECT_EQ(KqRectF(10, 5, 100, 12), engine.contentRect(d, KqRectF(10, 5, 100, 10)));

    // Unit j is hit while x is at most left + 1 + its right edge - 2.
    const struct { double x; int unit; } hits[] = {{-50, 0}, {10, 0}, {16, 0}, {17, 1}, {30, 2}, {31, 3}, {500, 3}};
    for (const auto& h : hits)
        EXPECT_EQ(h.unit, engine.hitTest(d, origin, h.x)) << h.x;

    const KqRectF rect(10, 5, 100, 20);
    const struct { int cursor; int x; } carets[] = {{0, 11}, {1, 10 + 7 - 2}, {2, 10 + 14 - 2}, {3, 10 + 21 - 3}};
    for (const auto& c : carets) {
        KqPoint top, bottom;
        ASSERT_TRUE(engine.caretLineAt(d, rect, c.cursor, top, bottom));
        EXPECT_EQ(c.x, top.x) << c.cursor;
        EXPECT_EQ(c.x, bottom.x) << c.cursor;
        EXPECT_EQ(5, top.y);
        EXPECT_EQ(c.cursor == 0 ? 25 : 17, bottom.y) << c.cursor;
    }
    KqTextDocument empty;
    KqPoint top, bottom;
    ASSERT_TRUE(engine.caretLine(&empty, rect, top, bottom));
    EXPECT_EQ(11, top.x);

    rects.clear();
    d->cursor().setPosition(1);
    d->anchor().setPosition(1);
    EXPECT_FALSE(engine.selectionRects(d, rect, rects));
    EXPECT_TRUE(rects.empty());
    d->anchor().setPosition(3);
    EXPECT_TRUE(engine.selectionRects(d, rect, rects));
    ASSERT_EQ(1u, rects.size());
    EXPECT_EQ(KqRectF(15, 5, 28 - 15 + 1, 13), rects[0]);
    delete d;
}

} // namespace
