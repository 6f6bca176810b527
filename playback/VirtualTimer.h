#pragma once
// Timers on a simulated clock, for tests that check an exact schedule without
// waiting. Time moves only when the test advances it (or something sleeps);
// due callbacks then run on the calling thread in deadline order, each seeing
// the clock at its own deadline. Single-threaded use only.

#include <cstdint>
#include <map>
#include <utility>

#include "playback/TimerService.h"

namespace rovanta {

class VirtualTimerService final : public TimerService {
public:
    explicit VirtualTimerService(std::uint32_t minPeriod = 1) : minPeriod_(minPeriod) {}

    std::uint32_t MinPeriod() const override { return minPeriod_; }
    void BeginPeriod(std::uint32_t ms) override;
    void EndPeriod(std::uint32_t ms) override;

    TimerId Arm(std::uint32_t delayMs, std::uint32_t resolutionMs, Callback callback) override;
    void Cancel(TimerId id) override;

    std::int64_t NowMicros() const override { return now_; }
    // Advances the clock, running every timer that falls due meanwhile.
    void Sleep(std::uint32_t ms) override { AdvanceBy(std::int64_t{ms} * 1000); }

    void AdvanceBy(std::int64_t micros);
    // Runs timers until none is pending, or `limit` have run; returns how many ran.
    int RunUntilIdle(int limit = 1'000'000);

    std::size_t PendingCount() const { return pending_.size(); }
    // The resolution requested last, and how many requests are not given back.
    std::uint32_t LastPeriod() const { return lastPeriod_; }
    int OpenPeriods() const { return openPeriods_; }

private:
    struct Entry {
        TimerId id;
        Callback callback;
    };
    // Runs the earliest timer if it is due by `until`; false when none is.
    bool RunNext(std::int64_t until);

    std::uint32_t minPeriod_;
    std::int64_t now_ = 0;
    TimerId lastId_ = 0;
    std::multimap<std::int64_t, Entry> pending_;  // equal deadlines fire in arming order
    std::uint32_t lastPeriod_ = 0;
    int openPeriods_ = 0;
};

}  // namespace rovanta
