// The real timer thread. Threaded: these tests wait on the steady clock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "playback/PlaybackFakes.h"
#include "playback/TimerThread.h"

namespace rovanta {
namespace {

using namespace std::chrono_literals;

using test::Eventually;

// When a callback ran (µs) and on which thread.
struct Firing {
    std::int64_t micros;
    std::thread::id thread;
};

TEST(ThreadedTimer, AChainCountsFromDeadlinesSoCallbackTimeDoesNotAddUp)
{
    std::vector<Firing> list;  // written on the timer thread, read here once `done` is seen
    std::atomic<bool> done{false};
    RealTimerService timers;  // declared last: stops before what its callbacks use
    std::function<void(TimerId)> step = [&](TimerId) {
        list.push_back({timers.NowMicros(), std::this_thread::get_id()});
        std::this_thread::sleep_for(2ms);  // work a naive chain would add to every delay
        if (list.size() < 20)
            timers.Arm(5, 1, step);
        else
            done = true;
    };
    const std::int64_t start = timers.NowMicros();
    timers.Arm(5, 1, step);
    ASSERT_TRUE(Eventually([&] { return done.load(); }));
    // Never early, always on the one timer thread.
    for (std::size_t k = 0; k < list.size(); ++k) {
        EXPECT_GE(list[k].micros - start, static_cast<std::int64_t>(k + 1) * 5000) << k;
        EXPECT_EQ(list[k].thread, list[0].thread);
    }
    EXPECT_NE(list[0].thread, std::this_thread::get_id());
    EXPECT_LT(list.back().micros - start, 135'000);  // counted from each firing: at least 140 ms

    // A callback held up for longer (a report box) counts its next timer from
    // the moment it arms it, so the rest is delayed rather than rushed.
    std::atomic<std::int64_t> armedAt{0};
    done = false;
    timers.Arm(1, 1, [&](TimerId) {
        std::this_thread::sleep_for(RealTimerService::kMaxCatchUp + 30ms);
        armedAt = timers.NowMicros();
        timers.Arm(10, 1, [&](TimerId) {
            list.push_back({timers.NowMicros(), std::this_thread::get_id()});
            done = true;
        });
    });
    ASSERT_TRUE(Eventually([&] { return done.load(); }));
    EXPECT_GE(list.back().micros - armedAt, 10'000);
}

TEST(ThreadedTimer, CancelWaitsForARunningCallbackAndOnlyPreventsFromInside)
{
    test::Gate gate;
    std::atomic<bool> returned{false}, cancelled{false}, laterRan{false}, innerDone{false};
    RealTimerService timers;
    const TimerId running = timers.Arm(1, 1, [&](TimerId) {
        gate.Pass();
        returned = true;
    });
    const TimerId later = timers.Arm(100, 1, [&](TimerId) { laterRan = true; });
    ASSERT_TRUE(gate.WaitForArrival());
    std::thread canceller([&] {
        timers.Cancel(running);
        cancelled = true;
        EXPECT_TRUE(returned);
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(cancelled);
    gate.Open();
    canceller.join();

    // From inside a callback: its own id must not wait for itself.
    timers.Arm(1, 1, [&](TimerId self) {
        timers.Cancel(self);
        timers.Cancel(later);
        innerDone = true;
    });
    ASSERT_TRUE(Eventually([&] { return innerDone.load(); }));
    std::this_thread::sleep_for(150ms);
    EXPECT_FALSE(laterRan);
}

}  // namespace
}  // namespace rovanta
