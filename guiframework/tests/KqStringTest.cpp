#include "KqString.h"
#include "KqTextCodec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string text(const KqString& s) { return std::u16string(s.data(), static_cast<size_t>(s.length())); }

TEST(KqStringTest, GrowthRuleClearsOneBit)
{
    struct Case { int needed; int strings; int bytes; };
    const Case cases[] = {
        {10, 10, 26}, {12, 12, 12}, {20, 28, 20}, {22, 54, 22}, {30, 62, 46}, {100, 132, 164}, {1000, 1032, 1064}, {5000, 5000, 9096},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.strings, KqString::grownCapacity(c.needed)) << c.needed;
        EXPECT_EQ(c.bytes, KqByteArray::grownCapacity(c.needed)) << c.needed;
    }
    KqString s;
    s.setLength(22);
    EXPECT_EQ(54, s.capacity());
    KqByteArray b;
    b.setLength(1);
    b.setLength(30);
    EXPECT_EQ(46, b.capacity());
}

TEST(KqStringTest, SharedBlocksAndCopyOnWrite)
{
    KqString null1, null2("x");
    null2.clear();
    EXPECT_TRUE(null1.sharesBlockWith(null2));
    EXPECT_TRUE(null1.isNull());
    KqString empty(u"abc");
    empty.setLength(0);
    EXPECT_FALSE(empty.isNull());
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_TRUE(null1.beginsWith(KqString()));
    EXPECT_FALSE(null1.beginsWith(empty));
    EXPECT_TRUE(empty.beginsWith(empty));
    EXPECT_TRUE(empty.beginsWith(KqString())); // both have length 0

    KqString a(u"shared");
    KqString b(a);
    EXPECT_TRUE(a.sharesBlockWith(b));
    b.append(u"!");
    EXPECT_EQ(u"shared", text(a));
    EXPECT_EQ(u"shared!", text(b));
    KqString c(a);
    c.erase(0, 1);
    EXPECT_EQ(u"shared", text(a));
    EXPECT_EQ(u"hared", text(c));
    a.append(a);
    EXPECT_EQ(u"sharedshared", text(a));
}

TEST(KqStringTest, PositionsAreClipped)
{
    KqString abcdef(u"abcdef");
    EXPECT_EQ(u"abc", text(abcdef.mid(-2, 5)));
    EXPECT_TRUE(abcdef.mid(0, -1).sharesBlockWith(abcdef));
    EXPECT_EQ(u"ef", text(abcdef.mid(4, 99)));
    EXPECT_TRUE(abcdef.mid(6, 1).isNull());
    EXPECT_EQ(u"ab", text(abcdef.prefix(2)));
    EXPECT_EQ(u"ef", text(abcdef.suffix(2)));
    EXPECT_TRUE(abcdef.prefix(-1).sharesBlockWith(abcdef));

    struct Find { const char16_t* hay; const char16_t* needle; int start; int last; };
    const Find finds[] = {{u"abcdcd", u"cd", -1, 4}, {u"abc", u"xy", 10, -1}, {u"abcdcd", u"cd", 3, 2}, {u"abc", u"c", 99, 2}, {u"abc", u"", 3, 3}};
    for (const Find& f : finds)
        EXPECT_EQ(f.last, KqString(f.hay).lastIndexOf(KqString(f.needle), f.start)) << (int)f.start;
    EXPECT_EQ(4, abcdef.indexOf(KqString(u"ef"), 2));
    EXPECT_EQ(-1, abcdef.indexOf(KqString(u"ab"), 1));
    EXPECT_EQ(-1, abcdef.indexOf(u'a', 10));
    EXPECT_EQ(0, abcdef.unitAt(6));
    EXPECT_EQ(0, abcdef.unitAt(-1));
    EXPECT_EQ(u'f', abcdef.unitAt(5));

    KqString abcd(u"abcd");
    abcd.erase(-2, 1);
    EXPECT_EQ(u"abd", text(abcd));
    abcd.erase(1, 10);
    EXPECT_EQ(u"a", text(abcd));
    abcd.erase(-5, 1);
    EXPECT_EQ(u"a", text(abcd));
}

TEST(KqStringTest, ReplaceCompareAndNumbers)
{
    KqString s(u"a-b-c");
    s.replace(KqString(u"-"), KqString(u"--"));
    EXPECT_EQ(u"a--b--c", text(s));
    s.replace(KqString(u""), KqString(u"x")); // must return, not loop
    EXPECT_EQ(u"a--b--c", text(s));
    EXPECT_LT(KqString(u"ab").compare(KqString(u"abc")), 0);
    EXPECT_GT(KqString(u"\xFFFF").compare(KqString(u"a")), 0);
    EXPECT_TRUE(KqString(u"x") == KqString(u"x"));
    struct Number { int value; int radix; const char16_t* expected; };
    const Number numbers[] = {{0, 10, u"0"}, {-42, 10, u"-42"}, {255, 16, u"ff"},
        {-1, 2, u"-1"}, {static_cast<int>(0x80000000u), 2, u"-10000000000000000000000000000000"}, {0x7FFFFFFF, 2, u"1111111111111111111111111111111"}};
    for (const Number& n : numbers)
        EXPECT_EQ(n.expected, text(KqString::fromInt(n.value, n.radix)));
}

TEST(KqStringTest, ByteArrays)
{
    EXPECT_TRUE(KqByteArray(nullptr, 5).isNull());
    EXPECT_FALSE(KqByteArray("").isNull());
    EXPECT_TRUE(KqByteArray("").isEmpty());
    EXPECT_TRUE(KqByteArray("", 4).sharesBlockWith(KqByteArray("x", 0)));
    const char raw[] = {0x01, static_cast<char>(0xAB), 0x10};
    KqByteArray b(raw, 3);
    b.mutableData()[0] = 0;
    EXPECT_STREQ("00ab10", b.toHex().data());
}

TEST(KqStringTest, Utf8RoundTripAndBrokenInput)
{
    std::u16string longText;
    for (int i = 0; i < 5000; ++i)
        longText += static_cast<char16_t>(i % 3 == 0 ? u'a' + i % 26 : 0x4E00 + i % 500);
    KqString original(longText.c_str(), static_cast<int>(longText.size()));
    KqByteArray utf8 = original.toUtf8();
    EXPECT_EQ(longText, text(KqString::fromUtf8(utf8.data(), utf8.size())));
    struct Case { const char* bytes; int length; std::u16string expected; };
    const Case cases[] = {
        {"ab\xE4\xB8", 4, u"ab"},                 // truncated tail dropped
        {"ab\xFF" "cd", 5, u"ab\xFFFD" "cd"},    // invalid middle byte
        {"\xE4\xB8\x80z", 4, u"\x4E00z"},
        {"", 0, u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, text(KqString::fromUtf8(c.bytes, c.length))) << c.bytes;
    EXPECT_TRUE(KqTextCodec(2).toUnicode("abc", 3).isNull());
    EXPECT_TRUE(KqTextCodec(2).fromUnicode(u"abc", 3).isNull());
}

TEST(KqStringTest, AnsiPagesRoundTripAndDropATruncatedTail)
{
    struct Page { unsigned codePage; char16_t sample; const char* truncated; int truncatedLength; std::u16string head; };
    const Page pages[] = {
        {1252, 0x00E9, "ab", 2, u"ab"},
        {936, 0x4E2D, "ab\xD6", 3, u"ab"},
    };
    for (const Page& p : pages) {
        std::u16string longText;
        for (int i = 0; i < 5000; ++i)
            longText += i % 2 ? p.sample : static_cast<char16_t>(u'a' + i % 26);
        KqByteArray bytes = KqTextCodec::fromUnicode(p.codePage, longText.c_str(), static_cast<int>(longText.size()));
        EXPECT_EQ(longText, text(KqTextCodec::toUnicode(p.codePage, bytes.data(), bytes.size()))) << p.codePage;
        EXPECT_EQ(p.head, text(KqTextCodec::toUnicode(p.codePage, p.truncated, p.truncatedLength))) << p.codePage;
    }
    EXPECT_EQ(1, KqTextCodec::incompleteTail(936, "a\xD6\xD0\xD6", 4));
    EXPECT_EQ(0, KqTextCodec::incompleteTail(936, "a\xD6\xD0", 3));
}

} // namespace
