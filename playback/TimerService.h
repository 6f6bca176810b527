#pragma once
// One-shot timers and waiting, standing in for the system's multimedia
// timers. One timer thread runs every callback, so callbacks never overlap.
// A timer armed from inside a callback counts its delay from that callback's
// deadline, not from the moment it runs, so latency never adds up (unless the
// callback ran very late, e.g. behind a message box: then it counts from now,
// so the rest does not rush out to catch up).

#include <cstdint>
#include <functional>

namespace rovanta {

using TimerId = std::uint32_t;  // 0: no timer

class TimerService {
public:
    using Callback = std::function<void(TimerId)>;
    virtual ~TimerService() = default;

    // The shortest period the service supports, in ms (at least 1).
    virtual std::uint32_t MinPeriod() const = 0;
    // Requests (and gives back) a resolution for the timers that follow.
    virtual void BeginPeriod(std::uint32_t ms) = 0;
    virtual void EndPeriod(std::uint32_t ms) = 0;

    // Arms a one-shot timer; 0 when it cannot be armed.
    virtual TimerId Arm(std::uint32_t delayMs, std::uint32_t resolutionMs, Callback callback) = 0;
    // After Cancel returns, the callback of that timer is not running and
    // will not run (called from inside a callback, it only prevents).
    virtual void Cancel(TimerId id) = 0;

    // The service's clock, in microseconds since it started.
    virtual std::int64_t NowMicros() const = 0;
    // Waits (really or virtually) for the given time; used by the polling
    // handshakes of play and stop.
    virtual void Sleep(std::uint32_t ms) = 0;
};

}  // namespace rovanta
