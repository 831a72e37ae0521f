#include "KqFile.h"
#include "KqServices.h"
#include "KqTextStream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::u16string text(const KqString& s) { return std::u16string(s.data(), static_cast<size_t>(s.length())); }

std::vector<std::u16string> g_messages;
void capture(const KqString& message) { g_messages.push_back(text(message)); }

void writeFixture(const char* name, const std::string& bytes)
{
    FILE* f = fopen(name, "wb");
    ASSERT_TRUE(f);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::string contents(const char* name)
{
    std::string bytes;
    FILE* f = fopen(name, "rb");
    if (!f)
        return "<missing>";
    for (int c; (c = fgetc(f)) != EOF;)
        bytes += static_cast<char>(c);
    fclose(f);
    return bytes;
}

TEST(KqFileTest, OpenModes)
{
    struct Case { const char* before; int mode; bool opens; const char* write; const char* after; };
    const char* missing = nullptr;
    const Case cases[] = {
        {missing, KqIODevice::ReadOnly, false, "", "<missing>"},
        {missing, KqIODevice::WriteOnly, true, "new", "new"},
        {"old text", KqIODevice::WriteOnly, true, "NEW", "NEW text"},
        {"old text", KqIODevice::WriteOnly | KqIODevice::Truncate, true, "NEW", "NEW"},
        {"old text", KqIODevice::ReadOnly | KqIODevice::Truncate, true, "", ""},
        {"old", KqIODevice::WriteOnly | KqIODevice::Append, true, "+more", "old+more"},
        {"old", KqIODevice::ReadOnly, true, "x", "old"}, // writing needs the write bit
        {"old", 0, false, "", "old"},
        {"old", KqIODevice::Append, false, "", "old"},
    };
    for (const Case& c : cases) {
        const char* name = "mode_fixture.txt";
        remove(name);
        if (c.before)
            writeFixture(name, c.before);
        KqFile file(KqString(u"mode_fixture.txt"));
        EXPECT_EQ(c.opens, file.open(c.mode)) << c.before << " " << c.mode;
        EXPECT_EQ(c.opens ? c.mode : 0, file.openMode());
        if (c.opens && *c.write) {
            int64_t expected = c.mode & 2 ? static_cast<int64_t>(strlen(c.write)) : -1;
            EXPECT_EQ(expected, file.write(c.write, static_cast<int64_t>(strlen(c.write)))) << c.mode;
        }
        file.close();
        EXPECT_EQ(0, file.openMode());
        EXPECT_EQ(c.after, contents(name)) << c.before << " " << c.mode;
        remove(name);
    }
}

TEST(KqFileTest, PositionSizeAndShortReads)
{
    writeFixture("read_fixture.bin", "0123456789");
    KqFile file(KqString(u"read_fixture.bin"));
    EXPECT_EQ(10, file.size()); // closed: by name
    ASSERT_TRUE(file.open(KqIODevice::ReadWrite));
    EXPECT_EQ(10, file.bytesAvailable());
    EXPECT_STREQ("0123", file.read(4).data());
    EXPECT_EQ(4, file.pos());
    EXPECT_TRUE(file.seek(8));
    KqByteArray tail = file.read(100);
    EXPECT_EQ(2, tail.size());
    EXPECT_STREQ("89", tail.data());
    EXPECT_TRUE(file.atEnd());
    EXPECT_EQ(0, file.read(5).size());
    EXPECT_FALSE(file.seek(-1));
    EXPECT_EQ(10, file.pos());
    EXPECT_EQ(3, file.write(KqByteArray("abc")));
    EXPECT_EQ(13, file.size()); // open: includes what was just written
    ASSERT_TRUE(file.seek(0));
    EXPECT_STREQ("0123456789abc", file.readAll().data());
    file.close();
    EXPECT_EQ(-1, KqFile(KqString(u"no_such_file.bin")).size());
    KqFile closed(KqString(u"read_fixture.bin"));
    EXPECT_EQ(0, closed.read(4).size());
    EXPECT_EQ(-1, closed.write("x", 1));
    EXPECT_TRUE(KqFile::remove(KqString(u"read_fixture.bin")));
}

TEST(KqFileTest, FileCanBeDeletedOnceItsObjectIsGone)
{
    for (bool closeFirst : {false, true}) {
        KqString name(u"delete_fixture.txt");
        {
            KqFile file(name);
            ASSERT_TRUE(file.open(KqIODevice::WriteOnly | KqIODevice::Truncate));
            EXPECT_EQ(5, file.write("hello", 5));
            if (closeFirst)
                file.close();
        }
        EXPECT_TRUE(KqFile::exists(name));
        EXPECT_TRUE(KqFile::remove(name)) << closeFirst;
        EXPECT_FALSE(KqFile::exists(name));
    }
    // Many files opened and dropped without close keep no handles behind.
    for (int i = 0; i < 3000; ++i) {
        KqFile file(KqString(u"delete_fixture.txt"));
        ASSERT_TRUE(file.open(KqIODevice::WriteOnly)) << i;
    }
    EXPECT_TRUE(KqFile::remove(KqString(u"delete_fixture.txt")));
    EXPECT_FALSE(KqFile::remove(KqString(u"delete_fixture.txt")));
}

TEST(KqFileTest, ResourcePathsAreNotFiles)
{
    g_messages.clear();
    kqSetDebugCapture(capture);
    EXPECT_FALSE(KqFile::exists(KqString(u":images/logo.png")));
    KqFile file(KqString(u":images/logo.png"));
    EXPECT_FALSE(file.open(KqIODevice::ReadOnly));
    EXPECT_EQ(0, file.openMode());
    EXPECT_FALSE(KqFile::remove(KqString(u":images/logo.png")));
    kqSetDebugCapture(nullptr);
    ASSERT_EQ(2u, g_messages.size());
    for (const std::u16string& message : g_messages)
        EXPECT_EQ(u"KqResourceFileEngine Not implemented ", message);
    EXPECT_FALSE(KqFile::exists(KqString(u"")));
    EXPECT_FALSE(KqFile::exists(KqString(u"no_such_file.bin")));
}

// Serves names beginning with "mem:" by a file engine that reads a fixed text.
class MemoryEngine : public KqFileEngine {
public:
    explicit MemoryEngine(const KqString& name) : KqFileEngine(name) {}
    bool atEnd() override { return at == 5; }
    int64_t pos() override { return at; }
    int64_t size() override { return 5; }
    bool open(int32_t) override { return true; }
    bool seek(int64_t position) override { return position >= 0 && position <= 5 && (at = position, true); }
    int64_t read(char* data, int64_t length) override
    {
        int64_t n = length < 5 - at ? length : 5 - at;
        memcpy(data, "a\nb\nc" + at, static_cast<size_t>(n));
        at += n;
        return n;
    }
    int64_t write(const char*, int64_t) override { return -1; }
    void close() override {}
    int64_t at = 0;
};

class MemoryHandler : public KqFileEngineHandler {
public:
    KqFileEngine* create(const KqString& name) const override
    {
        return name.beginsWith(KqString(u"mem:")) ? new MemoryEngine(name) : nullptr;
    }
};

TEST(KqFileTest, LaterHandlersAreAskedFirstAndLeaveWhenDestroyed)
{
    {
        MemoryHandler handler;
        KqFile file(KqString(u"mem:abc"));
        ASSERT_TRUE(file.open(KqIODevice::ReadOnly));
        EXPECT_EQ(5, file.bytesAvailable());
        KqTextStream stream(&file);
        EXPECT_EQ(u"a", text(stream.readLine()));
        EXPECT_EQ(u"b", text(stream.readLine()));
        EXPECT_EQ(u"c", text(stream.readLine()));
        EXPECT_TRUE(stream.readLine().isNull());
    }
    // Without the handler the name is an ordinary (missing) file again.
    KqFile file(KqString(u"mem:abc"));
    EXPECT_FALSE(file.open(KqIODevice::ReadOnly));
    EXPECT_EQ(-1, file.size());
}

TEST(KqFileTest, TextFilesWithEveryMark)
{
    struct Case { std::string bytes; std::vector<std::u16string> lines; };
    const Case cases[] = {
        {"\xEF\xBB\xBF" "caf\xC3\xA9\r\nb", {u"caf\u00e9", u"b"}},
        {std::string("\xFF\xFE" "a\0\r\0\n\0b\0", 10), {u"a", u"b"}},
        {std::string("\xFE\xFF\0a\0\r\0\n\0b", 10), {u"a", u"b"}},
        {"a\r\nb", {u"a", u"b"}},
    };
    for (const Case& c : cases) {
        writeFixture("text_fixture.txt", c.bytes);
        {
            KqFile file(KqString(u"text_fixture.txt"));
            ASSERT_TRUE(file.open(KqIODevice::ReadOnly));
            KqTextStream stream(&file);
            std::vector<std::u16string> lines;
            for (KqString line = stream.readLine(); !line.isNull(); line = stream.readLine())
                lines.push_back(text(line));
            EXPECT_EQ(c.lines, lines) << c.bytes;
            file.close();
        }
        EXPECT_TRUE(KqFile::remove(KqString(u"text_fixture.txt")));
    }
}

} // namespace
