#pragma once
// Zero-filled owned byte blocks. Backed by calloc, so a large block whose pages
// are never written costs no time: the system hands out zero pages lazily.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace rovanta {

class RunContext;

class MemoryBlock {
public:
    MemoryBlock() = default;

    // Every byte 0; an empty block (no storage) when the system has no memory.
    static MemoryBlock TryAllocate(std::size_t size);

    MemoryBlock(const MemoryBlock& other);  // deep copy
    MemoryBlock& operator=(const MemoryBlock& other);
    MemoryBlock(MemoryBlock&& other) noexcept
        : data_(std::move(other.data_)), size_(other.size_)
    {
        other.size_ = 0;
    }
    MemoryBlock& operator=(MemoryBlock&& other) noexcept
    {
        data_ = std::move(other.data_);
        size_ = other.size_;
        other.size_ = 0;
        return *this;
    }

    std::uint8_t* data() { return data_.get(); }
    const std::uint8_t* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    explicit operator bool() const { return data_ != nullptr; }

    // Gives the storage back; the block is empty afterwards.
    void Release()
    {
        data_.reset();
        size_ = 0;
    }

private:
    struct FreeStorage {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, FreeStorage> data_;
    std::size_t size_ = 0;
};

// Allocates a zero-filled block; reports GENE01000002 "Needs more memory!" and
// returns an empty block when that fails. Callers test the block before use.
MemoryBlock AllocBlock(RunContext& ctx, std::size_t size);

}  // namespace rovanta
