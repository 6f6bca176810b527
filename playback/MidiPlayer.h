#pragma once
// The scheduler of one playback: plays a song in event form on a MidiControler
// with a chain of one-shot timers. Each callback sends the due event and every
// event after it whose delay is below 1 ms, works out the delay to the next one
// from the tempo and the division, and arms the next timer.
//
// Threads: PlaySong and Release run on the player thread, the callbacks on the
// timer thread, RequestStop and Halt on the window thread. One mutex guards the
// song, the device and the position; it is never held while a report is shown,
// while anyone sleeps or while the port closes, so a thread waiting for it
// never waits long. Reports raised by the set-up or a callback are kept and
// shown by FlushReports (player thread) or at the end of the callback, once it
// has let go of the song: a report box then blocks only its own thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "playback/MidiControler.h"
#include "playback/MidiPort.h"
#include "playback/TimerService.h"
#include "song/MidiF0Data.h"
#include "support/CollectingSink.h"
#include "support/Report.h"

namespace rovanta {

class RunContext;

namespace mdpl {
inline constexpr std::uint32_t kDivisionTooLarge = 0x08000001;
inline constexpr std::uint32_t kCanNotUseTimer = 0x08000002;
inline constexpr std::uint32_t kTempoTooSlow = 0x08000003;
inline constexpr std::uint32_t kInternalError = 0x08000004;
inline constexpr std::uint32_t kPlayPointWrong = 0x08000005;
inline constexpr std::uint32_t kTempoWrong = 0x08000006;
inline constexpr std::uint32_t kDataInvalid = 0x08000007;
}  // namespace mdpl

extern const ErrorTable kPlayerErrors;

// What the player needs from its surroundings. The operating system's major
// version decides the pre-roll: systems of version 6 or later get it, and this
// one always counts as such.
struct PlaybackEnv {
    RunContext& ctx;
    MidiOutSystem& ports;
    TimerService& timers;
    int osMajorVersion = 6;
};

class MidiPlayer {
public:
    // Called on the timer thread before each timed event is sent, with the
    // event's index, the tick including its delta, and the event (null for the
    // announcement before playback). Runs with the player's lock held: it must
    // not wait for the window thread.
    using TickCallback = std::function<void(std::int32_t index, std::int32_t tick, const MusicEvent* event)>;

    explicit MidiPlayer(const PlaybackEnv& env);
    // Releases the device and cancels any pending timer.
    ~MidiPlayer();

    MidiPlayer(const MidiPlayer&) = delete;
    MidiPlayer& operator=(const MidiPlayer&) = delete;

    // Opens the device, sends General MIDI System On, runs the pre-roll and
    // arms the first timer one period from now. Player thread.
    void PlaySong(MidiF0Data& song, int deviceId, TickCallback tick, std::int32_t initialTick);
    bool HasDevice() const;
    // Ends the timer chain for good (waiting for a callback still running),
    // then resets, closes and drops the device. Player thread.
    void Release();
    // Shows the reports kept so far; on the thread that may block for them.
    void FlushReports();
    // Keeps a report of another class for FlushReports.
    void Defer(std::string text);

    // Seen by the next callback, which ends the chain.
    void RequestStop() { stop_ = true; }
    bool StopRequested() const { return stop_; }
    // 1 from a successful open until the chain ends.
    bool Running() const { return running_; }
    // From now on nothing touches the song and no event is sent: a callback in
    // progress is finished first, later ones return at once. Never waits for a
    // report or a sleep, so the window thread may call it.
    void Halt();

    std::uint32_t Period() const;

private:
    std::uint32_t Prepare(std::unique_lock<std::mutex>& lock, MidiF0Data& song, int deviceId);
    bool PreRoll(std::unique_lock<std::mutex>& lock);
    std::int32_t Advance(const MusicEvent& event);
    void SendEvent(const MusicEvent& event);
    void ApplyTempo(std::int32_t microsPerQuarter);
    std::int64_t TicksPerMinute() const;
    std::uint32_t DelayOf(std::int32_t delta) const;
    void OnTimer();
    TimerId ArmNext(std::uint32_t delayMs, std::uint32_t resolutionMs);
    void ReportError(std::uint32_t code);

    // Reports kept in order until a thread that may block shows them.
    RunContext* ctx_;
    MidiOutSystem* ports_;
    TimerService* timers_;
    const int osMajorVersion_;

    std::atomic<bool> stop_{false};  // fresh per playback: no set-up can clear a stop meant for it
    std::atomic<bool> running_{false};

    mutable std::mutex mutex_;
    bool halted_ = false;
    MidiF0Data* song_ = nullptr;
    std::unique_ptr<MidiControler> device_;
    TickCallback tick_;
    std::int32_t index_ = 0;
    std::int32_t tickTime_ = 0;
    std::uint32_t tempo_ = 240;  // quarter notes per minute
    std::int32_t speed_ = 100;   // percent
    std::uint32_t period_ = 0;   // ms per tick at the start tempo
    bool periodRequested_ = false;
    TimerId timerId_ = 0;
    CollectingSink kept_;
};

}  // namespace rovanta
