#include "KqCryptoHash.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string hexOf(KqCryptoHash& hash) { return hash.result().toHex().data(); }

// Digest of `text` from a fresh object in one piece.
std::string digestOf(int algorithm, const std::string& text)
{
    KqCryptoHash hash(algorithm);
    hash.addData(text.data(), static_cast<int>(text.size()));
    return hexOf(hash);
}

TEST(KqCryptoHashCacheTest, ResultIsCachedUntilDataOrResetChangesIt)
{
    struct Case { int algorithm; int length; };
    const Case cases[] = {{KqCryptoHash::Md4, 16}, {KqCryptoHash::Md5, 16}, {KqCryptoHash::Sha1, 20}};
    for (const Case& c : cases) {
        KqCryptoHash hash(c.algorithm);
        EXPECT_EQ(digestOf(c.algorithm, ""), hexOf(hash));
        hash.addData("ab", 2);
        KqByteArray first = hash.result();
        EXPECT_EQ(c.length, first.size());
        EXPECT_TRUE(first.sharesBlockWith(hash.result())) << c.algorithm;
        EXPECT_EQ(digestOf(c.algorithm, "ab"), hexOf(hash));
        hash.addData(nullptr, 5); // nothing to add, but the cache is dropped
        EXPECT_FALSE(first.sharesBlockWith(hash.result()));
        EXPECT_TRUE(first == hash.result());
        // More data after a result continues over everything given so far.
        hash.addData("c", 1);
        EXPECT_EQ(digestOf(c.algorithm, "abc"), hexOf(hash)) << c.algorithm;
        EXPECT_NE(digestOf(c.algorithm, "ab"), hexOf(hash));
        hash.addData("d", -1);
        EXPECT_EQ(digestOf(c.algorithm, "abc"), hexOf(hash));
        hash.reset();
        EXPECT_EQ(digestOf(c.algorithm, ""), hexOf(hash));
        // A result taken over a piece at a time equals the whole at once.
        std::string whole;
        KqCryptoHash pieces(c.algorithm);
        for (int i = 0; i < 300; ++i) {
            std::string piece(static_cast<size_t>(i % 70), static_cast<char>('a' + i % 26));
            pieces.addData(piece.data(), static_cast<int>(piece.size()));
            whole += piece;
            if (i % 37 == 0)
                pieces.result();
        }
        EXPECT_EQ(digestOf(c.algorithm, whole), hexOf(pieces)) << c.algorithm;
    }
}

} // namespace
