#include "support/MemoryBlock.h"

#include <cstring>

#include "support/Report.h"

namespace rovanta {

MemoryBlock MemoryBlock::TryAllocate(std::size_t size)
{
    MemoryBlock block;
    if (size == 0) return block;
    block.data_.reset(static_cast<std::uint8_t*>(std::calloc(size, 1)));
    if (block.data_) block.size_ = size;
    return block;
}

MemoryBlock::MemoryBlock(const MemoryBlock& other)
{
    if (!other.data_) return;
    *this = TryAllocate(other.size_);
    if (data_) std::memcpy(data_.get(), other.data_.get(), size_);
}

MemoryBlock& MemoryBlock::operator=(const MemoryBlock& other)
{
    if (this != &other) *this = MemoryBlock(other);
    return *this;
}

MemoryBlock AllocBlock(RunContext& ctx, std::size_t size)
{
    MemoryBlock block = MemoryBlock::TryAllocate(size);
    if (size != 0 && !block) ReportGeneralError(ctx, gene::kNeedsMoreMemory);
    return block;
}

}  // namespace rovanta
