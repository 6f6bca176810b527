#pragma once
// The one-shot timers of real playback: one thread runs every callback, in
// deadline order, so callbacks never overlap. Deadlines live on the steady
// clock; a timer armed inside a callback counts from that callback's deadline,
// so the time a callback takes and the thread's wake-up latency never add up
// over a song.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include "playback/TimerService.h"

namespace rovanta {

class RealTimerService final : public TimerService {
public:
    RealTimerService();
    // Pending timers are dropped; must not run on the timer thread itself.
    ~RealTimerService() override;

    RealTimerService(const RealTimerService&) = delete;
    RealTimerService& operator=(const RealTimerService&) = delete;

    std::uint32_t MinPeriod() const override { return 1; }
    // The steady clock already resolves far below a millisecond.
    void BeginPeriod(std::uint32_t) override {}
    void EndPeriod(std::uint32_t) override {}

    TimerId Arm(std::uint32_t delayMs, std::uint32_t resolutionMs, Callback callback) override;
    // From another thread, waits while that timer's callback is running.
    void Cancel(TimerId id) override;

    std::int64_t NowMicros() const override;
    void Sleep(std::uint32_t ms) override;

    // A callback that returns this much after its deadline was held up (a
    // report box, a stalled machine) rather than late by jitter; timers it arms
    // count from the moment it arms them, so the rest of the song is delayed
    // instead of rushed out to catch up.
    static constexpr std::chrono::milliseconds kMaxCatchUp{50};

private:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        TimerId id;
        Callback callback;
    };

    void Run();

    const Clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable changed_;  // a timer armed or cancelled, a callback done, stop
    std::multimap<Clock::time_point, Entry> pending_;  // equal deadlines fire in arming order
    TimerId lastId_ = 0;
    TimerId runningId_ = 0;  // the callback in progress, 0 when none
    Clock::time_point runningDeadline_;
    std::thread::id timerThread_;
    bool stopping_ = false;
    std::thread thread_;  // last, so it starts once everything above exists
};

}  // namespace rovanta
