#pragma once
// The byte buffer of one event: zero-filled, owned, copied deeply. One
// allocation holds the size and then the bytes, so an event without bytes
// (every channel message: its fields say everything) carries one null pointer.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace rovanta {

class EventBytes {
public:
    EventBytes() = default;
    // Every byte 0; no buffer when `size` is 0 or the system has no memory.
    static EventBytes TryAllocate(std::size_t size)
    {
        EventBytes b;
        if (size == 0 || size > kMaxSize) return b;
        b.block_ = static_cast<std::uint8_t*>(std::calloc(size + kHeader, 1));
        if (b.block_) {
            const auto stored = static_cast<std::uint32_t>(size);
            std::memcpy(b.block_, &stored, kHeader);
        }
        return b;
    }

    EventBytes(const EventBytes& other) : EventBytes(TryAllocate(other.size()))
    {
        if (block_) std::memcpy(data(), other.data(), size());
    }
    EventBytes& operator=(const EventBytes& other)
    {
        if (this != &other) *this = EventBytes(other);
        return *this;
    }
    EventBytes(EventBytes&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    EventBytes& operator=(EventBytes&& other) noexcept
    {
        if (this != &other) {
            Release();
            block_ = std::exchange(other.block_, nullptr);
        }
        return *this;
    }
    ~EventBytes() { Release(); }

    std::uint8_t* data() { return block_ ? block_ + kHeader : nullptr; }
    const std::uint8_t* data() const { return block_ ? block_ + kHeader : nullptr; }
    std::size_t size() const
    {
        if (!block_) return 0;
        std::uint32_t stored;
        std::memcpy(&stored, block_, kHeader);
        return stored;
    }
    explicit operator bool() const { return block_ != nullptr; }

    void Release()
    {
        std::free(block_);
        block_ = nullptr;
    }

private:
    static constexpr std::size_t kHeader = sizeof(std::uint32_t);
    static constexpr std::size_t kMaxSize = 0xFFFFFFFFu;
    std::uint8_t* block_ = nullptr;
};

}  // namespace rovanta
