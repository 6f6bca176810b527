#include "playback/VirtualTimer.h"

#include <limits>

namespace rovanta {

void VirtualTimerService::BeginPeriod(std::uint32_t ms)
{
    lastPeriod_ = ms;
    ++openPeriods_;
}

void VirtualTimerService::EndPeriod(std::uint32_t /*ms*/)
{
    --openPeriods_;
}

TimerId VirtualTimerService::Arm(std::uint32_t delayMs, std::uint32_t /*resolutionMs*/, Callback callback)
{
    if (!callback) return 0;
    if (++lastId_ == 0) ++lastId_;
    // Inside a callback the clock stands at its deadline, so this counts from there.
    pending_.emplace(now_ + std::int64_t{delayMs} * 1000, Entry{lastId_, std::move(callback)});
    return lastId_;
}

void VirtualTimerService::Cancel(TimerId id)
{
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if (it->second.id == id) {
            pending_.erase(it);
            return;
        }
    }
}

bool VirtualTimerService::RunNext(std::int64_t until)
{
    if (pending_.empty() || pending_.begin()->first > until) return false;
    const auto next = pending_.begin();
    if (next->first > now_) now_ = next->first;
    Entry entry = std::move(next->second);
    pending_.erase(next);
    entry.callback(entry.id);
    return true;
}

void VirtualTimerService::AdvanceBy(std::int64_t micros)
{
    const std::int64_t until = now_ + micros;
    while (RunNext(until)) {
    }
    if (until > now_) now_ = until;
}

int VirtualTimerService::RunUntilIdle(int limit)
{
    int ran = 0;
    while (ran < limit && RunNext(std::numeric_limits<std::int64_t>::max())) ++ran;
    return ran;
}

}  // namespace rovanta
