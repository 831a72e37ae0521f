#include "KqCryptoHash.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string hexOf(KqCryptoHash& hash) { return hash.result().toHex().data(); }

TEST(KqCryptoHashTest, PublishedVectors)
{
    struct Case { int algorithm; const char* input; const char* digest; };
    const char* az = "abcdefghijklmnopqrstuvwxyz";
    const char* alnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const char* digits = "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
    const Case cases[] = {
        {KqCryptoHash::Md4, "", "31d6cfe0d16ae931b73c59d7e0c089c0"},
        {KqCryptoHash::Md4, "a", "bde52cb31de33e46245e05fbdbd6fb24"},
        {KqCryptoHash::Md4, "abc", "a448017aaf21d8525fc10ae87aa6729d"},
        {KqCryptoHash::Md4, "message digest", "d9130a8164549fe818874806e1c7014b"},
        {KqCryptoHash::Md4, az, "d79e1c308aa5bbcdeea8ed63df412da9"},
        {KqCryptoHash::Md4, alnum, "043f8582f241db351ce627e153e7f0e4"},
        {KqCryptoHash::Md4, digits, "e33b4ddc9c38f2199c3e7b164fcc0536"},
        {KqCryptoHash::Md5, "", "d41d8cd98f00b204e9800998ecf8427e"},
        {KqCryptoHash::Md5, "a", "0cc175b9c0f1b6a831c399e269772661"},
        {KqCryptoHash::Md5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {KqCryptoHash::Md5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {KqCryptoHash::Md5, az, "c3fcd3d76192e4007dfb496cca67e13b"},
        {KqCryptoHash::Md5, alnum, "d174ab98d277d9f5a5611c2c9f419d9f"},
        {KqCryptoHash::Md5, digits, "57edf4a22be3c955ac49da2e2107b67a"},
        {KqCryptoHash::Sha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {KqCryptoHash::Sha1, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    };
    for (const Case& c : cases) {
        KqCryptoHash hash(c.algorithm);
        hash.addData(c.input, static_cast<int>(strlen(c.input)));
        EXPECT_EQ(c.digest, hexOf(hash)) << c.algorithm << " " << c.input;
    }
    // One million "a", fed in pieces that do not line up with the blocks.
    KqCryptoHash sha1(KqCryptoHash::Sha1);
    std::string piece(999, 'a');
    for (int i = 0; i < 1001; ++i)
        sha1.addData(piece.data(), static_cast<int>(piece.size()));
    sha1.addData(piece.data(), 1000000 - 999 * 1001);
    EXPECT_EQ("34aa973cd4c4daa4f61eeb2bdbad27316534016f", hexOf(sha1));
    EXPECT_EQ(20, sha1.result().size());
}

TEST(KqCryptoHashTest, ResultIsCachedAndTheDigestContinues)
{
    KqCryptoHash hash(KqCryptoHash::Md5);
    hash.addData("a", 1);
    KqByteArray first = hash.result();
    EXPECT_TRUE(first.sharesBlockWith(hash.result()));
    hash.addData("bc", 2);
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", hexOf(hash));
    hash.reset();
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", hexOf(hash));
}

TEST(KqCryptoHashTest, FileDigestsAcrossViewBoundaries)
{
    struct Case { int size; const char* md5; };
    const Case cases[] = {
        {0, "d41d8cd98f00b204e9800998ecf8427e"},
        {1, "8666683506aacd900bbd5a74ac4edf68"},
        {55, "52c0e574e1198de5fe3f8f11440dcb1b"}, // the padding still fits the block
        {56, "46c9907fc908ee68b1e7b8e71286a518"}, // the padding needs a second block
        {64, "7160b8fb5e9e4023d549c3971fbaeead"},
        {65535, "70a2002bd59609d66effc9f59e27e0a7"},
        {65536, "55f3da07043d8f6f30808f9309120b1d"},
        {65537, "8bbe2ba9b420c53493027ed87dbc57c8"},
        {3 * 65536 + 5, "2a00dae0259805ac56820c125a1fdf44"}, // four views, the last one short
    };
    for (const Case& c : cases) {
        std::string name = "hash_fixture_" + std::to_string(c.size) + ".bin";
        std::vector<unsigned char> bytes(static_cast<size_t>(c.size));
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<unsigned char>((i * 7 + 3) & 0xFF);
        FILE* f = fopen(name.c_str(), "wb");
        ASSERT_TRUE(f);
        if (!bytes.empty())
            fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        KqByteArray hex;
        EXPECT_TRUE(KqCryptoHash::fileMd5(KqString::fromAnsi(name.c_str()), hex)) << c.size;
        EXPECT_STREQ(c.md5, hex.data()) << c.size;
        remove(name.c_str());
    }
    KqByteArray untouched("keep");
    EXPECT_FALSE(KqCryptoHash::fileMd5(KqString(u"no_such_file.bin"), untouched));
    EXPECT_STREQ("keep", untouched.data());
}

// A file that cannot be read gives false and leaves the text as it was,
// never the digest of no data.
TEST(KqCryptoHashTest, UnreadableFilesGiveNoDigest)
{
    CreateDirectoryW(L"hash_fixture_dir", nullptr);
    HANDLE locked = CreateFileW(L"hash_fixture_locked.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    DWORD wrote = 0;
    WriteFile(locked, "abc", 3, &wrote, nullptr);
    const char16_t* const paths[] = {u"no_such_file.bin", u"no_such_folder\\a.bin", u"hash_fixture_dir",
                                     u"hash_fixture_locked.bin", u""};
    for (const char16_t* path : paths) {
        KqByteArray untouched("keep");
        EXPECT_FALSE(KqCryptoHash::fileMd5(KqString(path), untouched)) << KqString(path).toUtf8().data();
        EXPECT_STREQ("keep", untouched.data()) << KqString(path).toUtf8().data();
    }
    CloseHandle(locked);
    KqByteArray hex;
    EXPECT_TRUE(KqCryptoHash::fileMd5(KqString(u"hash_fixture_locked.bin"), hex));
    EXPECT_STREQ("900150983cd24fb0d6963f7d28e17f72", hex.data());
    DeleteFileW(L"hash_fixture_locked.bin");
    RemoveDirectoryW(L"hash_fixture_dir");
}

} // namespace
