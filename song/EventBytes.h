#pragma once
// The byte buffer of one event: zero-filled, owned, copied deeply. Most
// events are channel messages of two or three bytes (plus the 8 spare bytes),
// so small buffers live inside the event and copying a track allocates only
// for system-exclusive data and long texts.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace rovanta {

class EventBytes {
public:
    static constexpr std::size_t kInline = 16;

    EventBytes() = default;
    // Every byte 0; no buffer when `size` is 0 or the system has no memory.
    static EventBytes TryAllocate(std::size_t size)
    {
        EventBytes b;
        if (size == 0) return b;
        if (size > kInline) {
            b.heap_ = static_cast<std::uint8_t*>(std::calloc(size, 1));
            if (!b.heap_) return b;
        } else {
            std::memset(b.inline_, 0, sizeof b.inline_);
        }
        b.size_ = size;
        return b;
    }

    EventBytes(const EventBytes& other) : EventBytes(TryAllocate(other.size_))
    {
        if (size_ != 0) std::memcpy(data(), other.data(), size_);
    }
    EventBytes& operator=(const EventBytes& other)
    {
        if (this != &other) *this = EventBytes(other);
        return *this;
    }
    EventBytes(EventBytes&& other) noexcept { Take(other); }
    EventBytes& operator=(EventBytes&& other) noexcept
    {
        if (this != &other) {
            Release();
            Take(other);
        }
        return *this;
    }
    ~EventBytes() { Release(); }

    std::uint8_t* data() { return size_ == 0 ? nullptr : heap_ ? heap_ : inline_; }
    const std::uint8_t* data() const { return size_ == 0 ? nullptr : heap_ ? heap_ : inline_; }
    std::size_t size() const { return size_; }
    explicit operator bool() const { return size_ != 0; }

    void Release()
    {
        if (heap_) std::free(heap_);
        heap_ = nullptr;
        size_ = 0;
    }

private:
    void Take(EventBytes& other) noexcept
    {
        size_ = std::exchange(other.size_, 0);
        heap_ = std::exchange(other.heap_, nullptr);
        if (size_ != 0 && !heap_) std::memcpy(inline_, other.inline_, sizeof inline_);
    }

    std::size_t size_ = 0;
    std::uint8_t* heap_ = nullptr;
    std::uint8_t inline_[kInline] = {};  // meaningful only while it holds the bytes
};

}  // namespace rovanta
