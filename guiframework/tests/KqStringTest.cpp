#include "KqString.h"
#include "KqTextCodec.h"
#include "MemPool.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

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

namespace {

// Memory exhaustion injected through the pool's allocation hook.
bool g_refuseMemory;
std::vector<std::string> g_poolReports;
bool allocationAllowed(unsigned) { return !g_refuseMemory; }
void keepReport(const char* text) { g_poolReports.push_back(text); }

bool reported(const char* part, size_t from = 0)
{
    for (size_t i = from; i < g_poolReports.size(); ++i)
        if (g_poolReports[i].find(part) != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(KqStringTest, GrowingWithoutMemoryLeavesTheTextUnchangedAndIsReported)
{
    mp_set_alloc_hook(&allocationAllowed);
    mp_set_report_hook(&keepReport);
    const KqString long40(u"0123456789012345678901234567890123456789");
    struct Case {
        const char* name;
        // Runs the change with memory refused; returns what must hold after it.
        std::function<std::function<void()>()> run;
    } cases[] = {
        {"append past an unshared block", [&] {
             auto s = std::make_shared<KqString>(u"abc");
             g_refuseMemory = true;
             s->append(long40);
             g_refuseMemory = false;
             return std::function<void()>([=] {
                 EXPECT_EQ(u"abc", text(*s));
                 s->append(long40); // with memory back it grows
                 EXPECT_EQ(43, s->length());
             });
         }},
        {"append of one unit to a shared block", [&] {
             auto s = std::make_shared<KqString>(u"abc");
             auto keep = std::make_shared<KqString>(*s);
             g_refuseMemory = true;
             s->append(KqChar(u'x'));
             g_refuseMemory = false;
             return std::function<void()>([=] {
                 EXPECT_EQ(u"abc", text(*s));
                 EXPECT_EQ(u"abc", text(*keep));
             });
         }},
        {"length of the null string", [&] {
             auto s = std::make_shared<KqString>();
             g_refuseMemory = true;
             s->setLength(10);
             g_refuseMemory = false;
             return std::function<void()>([=] {
                 EXPECT_TRUE(s->isNull());
                 EXPECT_EQ(0, s->length());
                 EXPECT_TRUE(KqString().isEmpty()); // the shared null block is untouched
             });
         }},
        {"erase in a shared block", [&] {
             auto s = std::make_shared<KqString>(u"abcdef");
             auto keep = std::make_shared<KqString>(*s);
             g_refuseMemory = true;
             s->erase(1, 2);
             g_refuseMemory = false;
             return std::function<void()>([=] {
                 EXPECT_EQ(u"abcdef", text(*s));
                 EXPECT_EQ(u"abcdef", text(*keep));
             });
         }},
        {"new string from text", [&] {
             g_refuseMemory = true;
             auto s = std::make_shared<KqString>(u"hello");
             g_refuseMemory = false;
             return std::function<void()>([=] { EXPECT_TRUE(s->isNull()); });
         }},
        {"replace", [&] {
             auto s = std::make_shared<KqString>(u"a-b-c");
             g_refuseMemory = true;
             s->replace(KqString(u"-"), KqString(u"+++"));
             g_refuseMemory = false;
             return std::function<void()>([=] { EXPECT_EQ(u"a-b-c", text(*s)); });
         }},
        {"byte array from null", [&] {
             auto b = std::make_shared<KqByteArray>();
             g_refuseMemory = true;
             b->setLength(10);
             g_refuseMemory = false;
             return std::function<void()>([=] {
                 EXPECT_TRUE(b->isNull());
                 EXPECT_EQ(0, b->size());
                 EXPECT_EQ(0, KqByteArray().size());
             });
         }},
        {"byte array past its block", [&] {
             auto b = std::make_shared<KqByteArray>("abc");
             g_refuseMemory = true;
             b->setLength(100);
             g_refuseMemory = false;
             return std::function<void()>([=] {
                 EXPECT_EQ(KqByteArray("abc"), *b);
                 EXPECT_EQ(0, b->data()[3]);
             });
         }},
        {"new byte array from bytes", [&] {
             g_refuseMemory = true;
             auto b = std::make_shared<KqByteArray>("abc", 3);
             g_refuseMemory = false;
             return std::function<void()>([=] { EXPECT_EQ(0, b->size()); });
         }},
        {"hex of a byte array", [&] {
             KqByteArray b("ab");
             g_refuseMemory = true;
             auto hex = std::make_shared<KqByteArray>(b.toHex());
             g_refuseMemory = false;
             return std::function<void()>([=] { EXPECT_EQ(0, hex->size()); });
         }},
    };
    g_poolReports.clear();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t first = g_poolReports.size();
        std::function<void()> check = c.run();
        check();
        EXPECT_TRUE(reported("no memory", first)) << "the refusal was not reported";
    }
    mp_set_alloc_hook(nullptr);
    mp_set_report_hook(nullptr);
    // Nothing was written past a block: freeing them all found no damage.
    EXPECT_FALSE(reported("corrupt"));
    EXPECT_FALSE(reported("not in mem pool"));
}
