#include "KqIODevice.h"
#include "KqTextStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::u16string text(const KqString& s) { return std::u16string(s.data(), static_cast<size_t>(s.length())); }

// Bytes in memory, handed over at most `step` at a time.
class MemoryDevice : public KqIODevice {
public:
    explicit MemoryDevice(std::string bytes, size_t step = SIZE_MAX) : m_bytes(std::move(bytes)), m_step(step) {}
    int64_t bytesAvailable() override { return static_cast<int64_t>(m_bytes.size() - m_at); }
    int64_t pos() override { return static_cast<int64_t>(m_at); }
    int64_t size() override { return static_cast<int64_t>(m_bytes.size()); }
    int reads = 0;

protected:
    int64_t readData(char* data, int64_t length) override
    {
        ++reads;
        size_t n = std::min({static_cast<size_t>(length), m_step, m_bytes.size() - m_at});
        memcpy(data, m_bytes.data() + m_at, n);
        m_at += n;
        return static_cast<int64_t>(n);
    }
    int64_t writeData(const char*, int64_t) override { return -1; }

private:
    std::string m_bytes;
    size_t m_at = 0;
    size_t m_step;
};

TEST(KqIODeviceTest, ReadKeepsOnlyWhatArrived)
{
    struct Case { const char* bytes; size_t step; int64_t n; const char* expected; };
    const Case cases[] = {
        {"abcdef", SIZE_MAX, 4, "abcd"}, {"abcdef", SIZE_MAX, 10, "abcdef"}, {"abcdef", 3, 10, "abc"},
        {"", SIZE_MAX, 5, ""}, {"abc", SIZE_MAX, 0, ""}, {"abc", SIZE_MAX, -1, ""}, {"abc", SIZE_MAX, int64_t(1) << 40, ""},
    };
    for (const Case& c : cases) {
        MemoryDevice device(c.bytes, c.step);
        KqByteArray got = device.read(c.n);
        EXPECT_EQ(static_cast<int>(strlen(c.expected)), got.size()) << c.bytes << " " << c.n;
        EXPECT_STREQ(c.expected, got.data()) << c.bytes << " " << c.n;
    }
    MemoryDevice device("0123456789");
    device.read(4);
    EXPECT_STREQ("456789", device.readAll().data());
    EXPECT_TRUE(device.atEnd());
}

TEST(KqIODeviceTest, BaseDeviceKeepsTheOpenMode)
{
    MemoryDevice device("x");
    EXPECT_FALSE(device.isOpen());
    EXPECT_TRUE(device.open(KqIODevice::ReadOnly | KqIODevice::Append));
    EXPECT_EQ(5, device.openMode());
    device.close();
    EXPECT_EQ(0, device.openMode());
    EXPECT_EQ(-1, device.write("a", 1));
    EXPECT_EQ(-1, device.write(nullptr, 1));
}

std::vector<std::u16string> readLines(KqIODevice* device, int64_t maxLength = 0)
{
    KqTextStream stream(device);
    std::vector<std::u16string> lines;
    for (;;) {
        KqString line = stream.readLine(maxLength);
        if (line.isNull())
            break;
        lines.push_back(text(line));
        if (lines.size() > 100000)
            break;
    }
    return lines;
}

std::string utf16(const std::u16string& units, bool bigEndian)
{
    std::string bytes;
    for (char16_t u : units) {
        char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

TEST(KqTextStreamTest, ByteOrderMarksChooseTheEncoding)
{
    const std::u16string sample = u"h\u00e9 \u4e2d\U0001D11E\r\nx";
    struct Case { std::string bytes; int encoding; std::vector<std::u16string> lines; };
    const Case cases[] = {
        {"\xEF\xBB\xBF" "h\xC3\xA9 \xE4\xB8\xAD\xF0\x9D\x84\x9E\r\nx", KqTextStream::Utf8, {u"h\u00e9 \u4e2d\U0001D11E", u"x"}},
        {std::string("\xFF\xFE", 2) + utf16(sample, false), KqTextStream::Utf16Le, {u"h\u00e9 \u4e2d\U0001D11E", u"x"}},
        {std::string("\xFE\xFF", 2) + utf16(sample, true), KqTextStream::Utf16Be, {u"h\u00e9 \u4e2d\U0001D11E", u"x"}},
        {"plain\ntext", KqTextStream::Ansi, {u"plain", u"text"}},
        {"\xEF\xBB" "a", KqTextStream::Ansi, {}}, // not a mark: taken as ANSI text, checked below by length
        {"ab", KqTextStream::Ansi, {u"ab"}},
        {"a", KqTextStream::Ansi, {u"a"}},
        {"", KqTextStream::Ansi, {}},
        {"\xFF\xFE", KqTextStream::Utf16Le, {}},
        {"\xFE\xFF", KqTextStream::Utf16Be, {}},
        {std::string("\xFF\xFE" "a\0b", 5), KqTextStream::Utf16Le, {u"a"}}, // odd last byte dropped
        {"\xEF\xBB\xBF", KqTextStream::Utf8, {}},
    };
    for (const Case& c : cases) {
        MemoryDevice device(c.bytes);
        KqTextStream stream(&device);
        std::vector<std::u16string> lines;
        for (KqString line = stream.readLine(); !line.isNull(); line = stream.readLine())
            lines.push_back(text(line));
        EXPECT_EQ(c.encoding, stream.encoding()) << c.bytes;
        if (c.bytes == "\xEF\xBB" "a") {
            ASSERT_EQ(1u, lines.size());
            EXPECT_EQ(u'a', lines[0].back());
        } else {
            EXPECT_EQ(c.lines, lines) << c.bytes;
        }
    }
}

TEST(KqTextStreamTest, LineEndsAndLimits)
{
    struct Case { const char* bytes; int64_t maxLength; std::vector<std::u16string> lines; };
    const Case cases[] = {
        {"a\r\nb", 0, {u"a", u"b"}},
        {"a\r\nb\r\n", 0, {u"a", u"b"}},
        {"\n\nc\n", 0, {u"", u"", u"c"}},
        {"a\rb\r\r\n", 0, {u"ab"}},
        {"abcdefg\nhi", 3, {u"abc", u"def", u"g", u"hi"}},
        {"abc\nd", 3, {u"abc", u"", u"d"}},
    };
    for (const Case& c : cases) {
        MemoryDevice device(c.bytes);
        EXPECT_EQ(c.lines, readLines(&device, c.maxLength)) << c.bytes;
    }
    // After the end the stream keeps answering with the null string.
    MemoryDevice device("a\r\nb");
    KqTextStream stream(&device);
    EXPECT_EQ(u"a", text(stream.readLine()));
    EXPECT_EQ(u"b", text(stream.readLine()));
    EXPECT_TRUE(stream.readLine().isNull());
    EXPECT_TRUE(stream.readLine().isNull());
}

TEST(KqTextStreamTest, CharactersSplitBetweenFillsStayWhole)
{
    // The first fill decodes the bytes after the mark up to file offset
    // 3 + 16,384; the character straddles it by `before` bytes.
    struct Case { const char* character; int before; std::u16string expected; };
    const Case cases[] = {
        {"\xC3\xA9", 1, u"\u00e9"},
        {"\xE4\xB8\xAD", 1, u"\u4e2d"}, {"\xE4\xB8\xAD", 2, u"\u4e2d"},
        {"\xF0\x9D\x84\x9E", 1, u"\U0001D11E"}, {"\xF0\x9D\x84\x9E", 2, u"\U0001D11E"},
        {"\xF0\x9D\x84\x9E", 3, u"\U0001D11E"},
    };
    for (const Case& c : cases) {
        int fill = KqTextStream::kChunkBytes - c.before;
        std::string bytes = "\xEF\xBB\xBF" + std::string(static_cast<size_t>(fill), 'a') + c.character + "\nz";
        MemoryDevice device(bytes);
        std::vector<std::u16string> lines = readLines(&device);
        ASSERT_EQ(2u, lines.size()) << c.before;
        EXPECT_EQ(std::u16string(static_cast<size_t>(fill), u'a') + c.expected, lines[0]) << c.before;
        EXPECT_EQ(u"z", lines[1]);
    }
}

TEST(KqTextStreamTest, LongTextThroughEveryEncodingAndShortReads)
{
    std::u16string all;
    std::vector<std::u16string> expected;
    for (int i = 0; i < 3000; ++i) {
        std::u16string line(static_cast<size_t>(i % 23), static_cast<char16_t>(u'a' + i % 26));
        line += i % 3 ? u"\u4e2d\u00e9" : u"\U0001D11E";
        expected.push_back(line);
        all += line + u"\r\n";
    }
    KqByteArray utf8 = KqString(all.data(), static_cast<int>(all.size())).toUtf8();
    const std::string inputs[] = {
        "\xEF\xBB\xBF" + std::string(utf8.data(), static_cast<size_t>(utf8.size())),
        std::string("\xFF\xFE", 2) + utf16(all, false),
        std::string("\xFE\xFF", 2) + utf16(all, true),
    };
    for (const std::string& bytes : inputs) {
        ASSERT_GT(bytes.size(), 3u * KqTextStream::kChunkBytes);
        for (size_t step : {size_t(SIZE_MAX), size_t(7), size_t(1)}) {
            MemoryDevice device(bytes, step);
            EXPECT_EQ(expected, readLines(&device)) << bytes.substr(0, 2) << " step " << step;
        }
    }
}

} // namespace
