// CMD5 and md5Hex: the RFC 1321 suite, the empty and finished cases, and a
// file hashed in odd pieces against Debian's md5sum.
#include "Md5.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Md5, Rfc1321Suite)
{
    struct Case {
        const char* input;
        const char* digest;
    };
    const Case suite[] = {
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : suite) {
        EXPECT_EQ(c.digest, md5Hex(c.input, strlen(c.input))) << c.input;
        // The same through the object, one byte at a time.
        CMD5 md5;
        for (size_t i = 0; i < strlen(c.input); ++i)
            md5.update(c.input + i, 1);
        EXPECT_EQ("", md5.hexDigest()) << "digest before finalize";
        md5.finalize();
        EXPECT_EQ(c.digest, md5.hexDigest()) << c.input;
    }
    // The RFC's empty string, through the object (md5Hex gives "" for it).
    CMD5 empty;
    empty.finalize();
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", empty.hexDigest());
}

TEST(Md5, EmptyInputGivesNoText)
{
    EXPECT_EQ("", md5Hex("", 0));
    EXPECT_EQ("", md5Hex(nullptr, 5));
}

TEST(Md5, UpdateAfterFinalizeIsIgnored)
{
    CMD5 md5;
    md5.update("abc", 3);
    md5.finalize();
    md5.update("more", 4);
    md5.finalize();
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", md5.hexDigest());
    md5.init();
    EXPECT_EQ("", md5.hexDigest());
    md5.update("a", 1);
    md5.finalize();
    EXPECT_EQ("0cc175b9c0f1b6a831c399e269772661", md5.hexDigest());
}

TEST(Md5, FileInOddPiecesMatchesMd5sum)
{
    std::string data = readFileBytes(L"md5_sample.bin");
    std::string expected = readFileBytes(L"md5_sample.bin.md5").substr(0, 32);
    ASSERT_EQ(1048576u, data.size());
    ASSERT_EQ(32u, expected.size());
    CMD5 md5;
    const size_t pieces[] = {1, 63, 64, 65, 127, 4093, 65537};
    size_t at = 0;
    for (size_t i = 0; at < data.size(); ++i) {
        size_t n = std::min(pieces[i % 7], data.size() - at);
        md5.update(data.data() + at, n);
        at += n;
    }
    md5.finalize();
    EXPECT_EQ(expected, md5.hexDigest());
    EXPECT_EQ(expected, md5Hex(data.data(), data.size()));
}
