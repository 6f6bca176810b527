#include "playback/TimerThread.h"

#include <utility>

namespace rovanta {

RealTimerService::RealTimerService() : start_(Clock::now()), thread_([this] { Run(); }) {}

RealTimerService::~RealTimerService()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

TimerId RealTimerService::Arm(std::uint32_t delayMs, std::uint32_t /*resolutionMs*/, Callback callback)
{
    std::lock_guard lock(mutex_);
    if (stopping_ || !callback) return 0;
    const Clock::time_point now = Clock::now();
    Clock::time_point base = now;
    // Only the timer thread runs callbacks, so this caller is inside one.
    if (std::this_thread::get_id() == timerThread_ && runningId_ != 0 && now - runningDeadline_ <= kMaxCatchUp)
        base = runningDeadline_;
    if (++lastId_ == 0) ++lastId_;
    pending_.emplace(base + std::chrono::milliseconds(delayMs), Entry{lastId_, std::move(callback)});
    changed_.notify_all();
    return lastId_;
}

void RealTimerService::Cancel(TimerId id)
{
    if (id == 0) return;
    Callback dropped;  // destroyed after the lock is released
    std::unique_lock lock(mutex_);
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if (it->second.id == id) {
            dropped = std::move(it->second.callback);
            pending_.erase(it);
            break;
        }
    }
    // The timer thread cannot wait for itself; there, cancelling only prevents.
    if (std::this_thread::get_id() == timerThread_) return;
    changed_.wait(lock, [&] { return runningId_ != id; });
}

std::int64_t RealTimerService::NowMicros() const
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
}

void RealTimerService::Sleep(std::uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void RealTimerService::Run()
{
    std::unique_lock lock(mutex_);
    timerThread_ = std::this_thread::get_id();
    while (!stopping_) {
        if (pending_.empty()) {
            changed_.wait(lock);
            continue;
        }
        const auto next = pending_.begin();
        // A copy: the entry may be cancelled while this thread waits.
        const Clock::time_point deadline = next->first;
        if (Clock::now() < deadline) {
            changed_.wait_until(lock, deadline);
            continue;
        }
        Entry entry = std::move(next->second);
        runningDeadline_ = deadline;
        runningId_ = entry.id;
        pending_.erase(next);

        lock.unlock();
        entry.callback(entry.id);
        entry.callback = nullptr;
        lock.lock();

        runningId_ = 0;
        changed_.notify_all();
    }
}

}  // namespace rovanta
