#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "common/TestSinks.h"
#include "support/MemoryBlock.h"

namespace rovanta {
namespace {

bool AllZero(const MemoryBlock& block)
{
    return std::all_of(block.data(), block.data() + block.size(),
                       [](std::uint8_t b) { return b == 0; });
}

TEST(MemoryBlock, EverySizeComesZeroFilledEvenInReusedMemory)
{
    test::Recorded r;
    for (std::size_t size : {1u, 3u, 7u, 9u, 255u, 4097u, 393217u}) {
        // Dirty a block of the same size first, so reused heap memory is seen.
        MemoryBlock dirty = AllocBlock(r.ctx, size);
        ASSERT_TRUE(dirty);
        std::memset(dirty.data(), 0xA5, size);
        dirty.Release();
        EXPECT_FALSE(dirty);
        EXPECT_EQ(dirty.size(), 0u);

        MemoryBlock block = AllocBlock(r.ctx, size);
        ASSERT_TRUE(block);
        EXPECT_EQ(block.size(), size);
        EXPECT_TRUE(AllZero(block)) << "size " << size;
    }
    EXPECT_EQ(AllocBlock(r.ctx, 0).size(), 0u);  // empty, silently
    EXPECT_TRUE(r.Take().empty());
}

TEST(MemoryBlock, ImpossibleRequestReportsAndYieldsEmptyBlock)
{
    test::Recorded r;
    MemoryBlock block = AllocBlock(r.ctx, std::numeric_limits<std::size_t>::max() / 2);
    EXPECT_FALSE(block);
    EXPECT_EQ(block.data(), nullptr);
    EXPECT_EQ(block.size(), 0u);
    EXPECT_EQ(r.Take(), std::vector<std::string>{"GENE01000002 Needs more memory!"});
    EXPECT_TRUE(AllocBlock(r.ctx, 16));  // the program goes on
    EXPECT_TRUE(r.Take().empty());
}

}  // namespace
}  // namespace rovanta
