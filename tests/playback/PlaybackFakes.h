#pragma once
// A MIDI output that records what it is sent, timed by a given clock, and a
// gate that holds a thread until the test opens it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "playback/MidiPort.h"

namespace rovanta::test {

struct Sent {
    std::int64_t micros;
    std::string text;  // bytes in hex ("90 3C 64"), "reset" or "close"
    bool operator==(const Sent&) const = default;
};

inline std::string Hex(std::span<const std::uint8_t> bytes)
{
    std::string text;
    char byte[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(byte, sizeof byte, text.empty() ? "%02X" : " %02X", b);
        text += byte;
    }
    return text;
}

// Every port opened from it writes into one log, readable while others send.
class RecordingPorts : public MidiOutSystem {
public:
    explicit RecordingPorts(std::function<std::int64_t()> clock) : clock_(std::move(clock)) {}

    // Set before playback starts.
    int devices = 1;
    bool openFails = false, shortFails = false, resetFails = false, closeFails = false;
    std::function<void()> onClose;  // runs inside Close, e.g. to hold it up

    int DeviceCount() override { return devices; }
    std::unique_ptr<MidiOutPort> Open(int) override
    {
        ++opens;
        return openFails ? nullptr : std::make_unique<Port>(*this);
    }
    std::string Name() const override { return "recording"; }

    std::vector<Sent> Log() const
    {
        std::lock_guard lock(mutex_);
        return log_;
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const Sent& s : Log()) texts.push_back(s.text);
        return texts;
    }
    int opens = 0;  // the player opens on one thread at a time

private:
    struct Port : MidiOutPort {
        explicit Port(RecordingPorts& owner) : system(owner) {}
        bool SendShort(std::uint32_t m) override
        {
            const std::uint8_t bytes[] = {std::uint8_t(m), std::uint8_t(m >> 8), std::uint8_t(m >> 16)};
            return system.Record(Hex(bytes), !system.shortFails);
        }
        bool SendLong(std::span<const std::uint8_t> message) override { return system.Record(Hex(message), true); }
        bool Reset() override { return system.Record("reset", !system.resetFails); }
        bool Close() override
        {
            if (system.onClose) system.onClose();
            return system.Record("close", !system.closeFails);
        }
        RecordingPorts& system;
    };
    bool Record(std::string text, bool result)
    {
        std::lock_guard lock(mutex_);
        log_.push_back({clock_(), std::move(text)});
        return result;
    }

    std::function<std::int64_t()> clock_;
    mutable std::mutex mutex_;
    std::vector<Sent> log_;
};

// Runs `step` (handling a queue, say) and polls until `done` holds or ten
// seconds have passed.
inline bool Eventually(const std::function<bool()>& done, const std::function<void()>& step = [] {})
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (step(); !done() && std::chrono::steady_clock::now() < end; step())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

class Gate {
public:
    void Open()
    {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    // Waits until the gate is open.
    void Pass()
    {
        std::unique_lock lock(mutex_);
        ++arrived_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
    }
    bool WaitForArrival(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return arrived_ > 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    int arrived_ = 0;
};

}  // namespace rovanta::test
