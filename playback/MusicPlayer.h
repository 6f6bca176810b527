#pragma once
// Play and Stop: PlayStart makes a song's play copy (re-timed to 96 ticks per
// quarter, in event form, leading empty measures dropped) and plays it on a
// player thread; PlayStop asks that playback to stop, waits for it and drops
// the copy. The threads meet through flags polled with short sleeps; no wait
// of the window thread depends on a report box being closed, and the waits of
// a stop all have an end.
//
// One MusicPlayer lives for one program run (the GUI) or one play job (the
// command-line tool); tests make their own. Each start gets a session of its
// own (its MidiPlayer, flags and thread), so a start that gives up waiting
// for the previous thread never shares state with it. Sessions are destroyed,
// and their threads joined, only once their thread has finished.
//
// Play copies: a song owns its play copy. Nothing touches a copy after
// DropPlayCopy (PlayStart, PlayStop) has halted the sessions playing it, and
// that never waits for a report box; a song that owns a sounding copy must go
// through DropPlayCopy (or PlayStop) before it is destroyed.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "playback/MidiPlayer.h"
#include "song/MidiF0Data.h"
#include "support/Report.h"

namespace rovanta {

namespace mdsp {
inline constexpr std::uint32_t kInternalError = 0x09000001;
inline constexpr std::uint32_t kNoPlayerThread = 0x09000002;  // shown with the class message
}  // namespace mdsp

extern const ErrorTable kMusicPlayerErrors;

// The ticks a quarter note of a play copy: the tick notifications count these.
inline constexpr std::int32_t kPlayDivision = 96;

// Song side of play control.
// Ticks in one measure of the song's first time signature; 384 (4/4 at 96)
// when there is none or it makes no sense.
std::int32_t TicksPerMeasure(const MidiF0Data& song);
// Removes the first n ticks: earlier events move to the new start, in order.
void CutLeadingTicks(MidiF0Data& song, std::int32_t n);
// Removes the whole measures before the first note-on; returns the ticks removed.
std::int32_t TrimLeadingMeasures(MidiF0Data& song);
// The copy Play plays of a paired song: re-timed to the play division, in
// event form and, with `trim` 1, without the whole measures before its first
// note; `cut` gets the ticks trimmed, where the display starts.
MidiF0Data MakePlayCopy(const MidiF0Data& song, int trim, std::int32_t& cut);

class MusicPlayer {
public:
    // Called on the player thread when a playback has ended by itself (or
    // could not start); never after a stop.
    using EndCallback = std::function<void()>;
    using TickCallback = MidiPlayer::TickCallback;

    // The environment must outlive the player.
    explicit MusicPlayer(const PlaybackEnv& env);
    // Halts every playback and waits for the player threads to end.
    ~MusicPlayer();

    MusicPlayer(const MusicPlayer&) = delete;
    MusicPlayer& operator=(const MusicPlayer&) = delete;

    // Window thread. `song` is paired; trim 1 drops the empty lead-in.
    void PlayStart(MidiF0Data& song, EndCallback end, TickCallback tick, int trim);
    int PlayStop(MidiF0Data& song);
    // Halts whatever plays the song's play copy, then destroys the copy.
    void DropPlayCopy(MidiF0Data& song);

    // The handshakes, on the window thread; they concern the latest start.
    void StartPlayerThread(MidiF0Data& playCopy, EndCallback end, TickCallback tick, std::int32_t initialTick);
    bool Finished() const;
    bool HasPlayer() const;
    void RequestStop();
    void KillTimer();
    void ReportError(std::uint32_t code) const;

private:
    struct Session;
    enum Slot : int { kEmpty, kLive, kFailed };

    // Player thread.
    void RunPlayerThread(Session& session, MidiF0Data& playCopy);
    int Start(Session& session, MidiF0Data& playCopy);
    void WaitForEnd(Session& session);
    void Finish(Session& session);

    // Joins and destroys the sessions, other than the latest, whose thread is done.
    void Reap();

    PlaybackEnv env_;
    std::vector<std::unique_ptr<Session>> sessions_;  // window thread only
    Session* current_ = nullptr;
};

}  // namespace rovanta
