// Reads that cannot have their memory: run with ASan's allocation size limit
// (max_allocation_size_mb=1, allocator_may_return_null=1, set by run.sh), so
// a block over 1 MiB is refused the way a full heap refuses it.
#include <gtest/gtest.h>

#include <cstdio>

#include "CxImage.h"
#include "Fixtures.h"

TEST(CxImageAllocationFailure, CreateReportsIt)
{
    CxImage image;
    EXPECT_EQ(image.Create(600, 600, 24, 0), nullptr); // 1,080,000 bytes of rows
    EXPECT_STREQ(image.LastError(), "CxImage::Create can't allocate memory");
    EXPECT_FALSE(image.HasPixels());
    // Below the limit all is well.
    EXPECT_NE(image.Create(500, 500, 24, 0), nullptr);
}

TEST(CxImageAllocationFailure, Bmp32BitPixelBuffer)
{
    // 520 x 520 at 32 bits: the 24-bit picture (811,200 bytes) fits, the
    // 1,081,600-byte buffer of the file's pixels does not.
    cxfix::BmpSpec s;
    s.width = 520;
    s.height = 520;
    s.bits = 32;
    const cxfix::Bytes header = cxfix::Bmp(s);
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(header.data(), 1, header.size(), file), header.size());
    const cxfix::Bytes row(520 * 4, 7);
    for (int y = 0; y < 520; ++y)
        ASSERT_EQ(std::fwrite(row.data(), 1, row.size(), file), row.size());
    std::rewind(file);
    CxImage image;
    EXPECT_FALSE(image.DecodeFile(file, CXIMAGE_FORMAT_BMP));
    EXPECT_STREQ(image.LastError(), "can't allocate memory");
    EXPECT_FALSE(image.HasPixels());
    std::fclose(file);
}
