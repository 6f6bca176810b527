#include "playback/MusicPlayer.h"

#include <system_error>
#include <utility>

#include "song/Ticks.h"
#include "support/RunContext.h"

namespace rovanta {

namespace {
constexpr ErrorText kRows[] = {
    {mdsp::kInternalError, "Internal Error occured in MusicPlayer!"},
};

constexpr std::int32_t kDefaultMeasure = 4 * kPlayDivision;

// The handshakes: poll periods in ms and how many polls until the next step.
constexpr std::uint32_t kWindDownPollMs = 100;
constexpr int kWindDownStopAfter = 50;
constexpr int kWindDownGiveUpAfter = 101;
constexpr std::uint32_t kStartPollMs = 50;
constexpr std::uint32_t kEndPollMs = 100;
constexpr std::uint32_t kStopPollMs = 100;
constexpr int kStopNoPlayerAfter = 31;
constexpr int kStopKillAfter = 21;
constexpr std::uint32_t kStopSettleMs = 1000;
}  // namespace

const ErrorTable kMusicPlayerErrors{"MDSP", kRows, "Error occured in MusicPlayer!"};

std::int32_t TicksPerMeasure(const MidiF0Data& song)
{
    std::int32_t value = 0;
    if (!song.HasTrack() || !song.Track().FindTimeSignature(&value) || value == 0 || song.division == 0)
        return kDefaultMeasure;
    const std::uint32_t numerator = static_cast<std::uint32_t>(value) >> 8;
    const std::uint32_t denominator = static_cast<std::uint32_t>(value) & 0xFF;
    if (denominator == 0) return kDefaultMeasure;
    const double ticks = 4.0 / denominator * numerator * song.division;
    // A measure shorter than a tick would divide by zero, one longer than any
    // song would cut nothing: neither is a time signature to go by.
    if (!(ticks >= 1.0) || ticks > kMaxTicks) return kDefaultMeasure;
    return static_cast<std::int32_t>(ticks);
}

void CutLeadingTicks(MidiF0Data& song, std::int32_t n)
{
    if (!song.HasTrack()) return;
    std::int64_t sum = 0;
    for (MusicEvent& event : song.Track().Events()) {
        sum += event.delta;
        if (sum <= n) {
            event.delta = 0;
            continue;
        }
        event.delta = ClampTicks(sum - n);
        break;
    }
}

std::int32_t TrimLeadingMeasures(MidiF0Data& song)
{
    if (!song.HasTrack()) return 0;
    std::int64_t start = 0;
    for (const MusicEvent& event : song.Track().Events()) {
        start += event.delta;
        if (event.kind == kind::kNoteOn) break;
    }
    if (start <= 0) return 0;
    const std::int64_t measure = TicksPerMeasure(song);
    const std::int32_t cut = ClampTicks(start / measure * measure);
    CutLeadingTicks(song, cut);
    return cut;
}

// One start attempt: its own player, flags and thread. The window thread
// writes the callbacks before the thread starts; afterwards the two threads
// share only the atomics and what MidiPlayer guards.
struct MusicPlayer::Session {
    Session(const PlaybackEnv& env, const MidiF0Data* playCopy, EndCallback endCallback, TickCallback tickCallback,
            std::int32_t startTick, bool inEventForm)
        : player(env), song(playCopy), end(std::move(endCallback)), tick(std::move(tickCallback)),
          initialTick(startTick), eventForm(inEventForm)
    {
    }

    MidiPlayer player;
    const MidiF0Data* song;  // the play copy it plays, for DropPlayCopy; window thread only
    const EndCallback end;
    const TickCallback tick;
    const std::int32_t initialTick;
    const bool eventForm;
    std::atomic<int> slot{kEmpty};
    std::atomic<bool> finished{false};
    std::thread thread;
};

MusicPlayer::MusicPlayer(const PlaybackEnv& env) : env_(env) {}

MusicPlayer::~MusicPlayer()
{
    for (const auto& session : sessions_) session->player.Halt();
    for (const auto& session : sessions_)
        if (session->thread.joinable()) session->thread.join();
}

MidiF0Data MakePlayCopy(const MidiF0Data& song, int trim, std::int32_t& cut)
{
    MidiF0Data copy = MidiF0Data::Copy(song);
    if (copy.HasTrack()) copy.Track().Retime(copy.division, kPlayDivision);
    copy.division = kPlayDivision;
    copy.UnpairTrack();
    cut = trim == 1 ? TrimLeadingMeasures(copy) : 0;
    return copy;
}

void MusicPlayer::PlayStart(MidiF0Data& song, EndCallback end, TickCallback tick, int trim)
{
    DropPlayCopy(song);
    std::int32_t cut = 0;
    auto copy = std::make_unique<MidiF0Data>(MakePlayCopy(song, trim, cut));
    // The display starts where playback will start.
    if (tick) tick(0, cut, nullptr);
    MidiF0Data& playCopy = *copy;
    song.SetPlayCopy(std::move(copy));
    StartPlayerThread(playCopy, std::move(end), std::move(tick), cut);
}

void MusicPlayer::StartPlayerThread(MidiF0Data& playCopy, EndCallback end, TickCallback tick,
                                    std::int32_t initialTick)
{
    // The previous thread gets time to wind down, then a stop, then up.
    for (int sleeps = 0; !Finished();) {
        env_.timers.Sleep(kWindDownPollMs);
        ++sleeps;
        if (sleeps == kWindDownStopAfter) RequestStop();
        if (sleeps == kWindDownGiveUpAfter) {
            ReportGeneralError(env_.ctx, gene::kQuitAndRestart);
            // It keeps its own state, but it must not sound next to the new one.
            current_->player.Halt();
            break;
        }
    }
    // The new start's slot is empty until its own attempt ends, so neither a
    // stop nor the wait below can take the previous start for this one.
    auto session = std::make_unique<Session>(env_, &playCopy, std::move(end), std::move(tick), initialTick,
                                             playCopy.State() == track_state::kEventForm);
    Session& started = *session;
    sessions_.push_back(std::move(session));
    current_ = &started;
    Reap();
    try {
        started.thread = std::thread([this, &started, &playCopy] { RunPlayerThread(started, playCopy); });
    } catch (const std::system_error&) {
        // Without a thread the start fails as it does without a device.
        ReportError(mdsp::kNoPlayerThread);
        started.slot = kFailed;
        started.finished = true;
        if (started.end) started.end();
        return;
    }
    // Ends: the player thread shows no report before its attempt is over.
    while (!HasPlayer()) env_.timers.Sleep(kStartPollMs);
}

void MusicPlayer::RunPlayerThread(Session& session, MidiF0Data& playCopy)
{
    const int started = Start(session, playCopy);
    // The window thread has stopped waiting: reports may block this thread now.
    session.player.FlushReports();
    if (started == 1) {
        WaitForEnd(session);
        Finish(session);
    } else if (session.end) {
        session.end();
    }
    session.player.FlushReports();
    // The last touch: from here the session may be joined and destroyed.
    session.finished = true;
}

int MusicPlayer::Start(Session& session, MidiF0Data& playCopy)
{
    if (!session.eventForm) session.player.Defer(FormatReport(kMusicPlayerErrors, mdsp::kInternalError));
    session.player.PlaySong(playCopy, kMidiMapper, session.tick, session.initialTick);
    if (session.player.HasDevice()) {
        session.slot = kLive;
        return 1;
    }
    session.player.Release();
    session.slot = kFailed;
    return 0;
}

void MusicPlayer::WaitForEnd(Session& session)
{
    while (session.player.Running()) env_.timers.Sleep(kEndPollMs);
    if (!session.player.StopRequested() && session.end) session.end();
}

void MusicPlayer::Finish(Session& session)
{
    session.player.Release();
    session.slot = kEmpty;
}

int MusicPlayer::PlayStop(MidiF0Data& song)
{
    for (int sleeps = 0; !HasPlayer();) {
        env_.timers.Sleep(kStopPollMs);
        if (++sleeps == kStopNoPlayerAfter) {
            song.ReportError(m0dt::kStopError);
            break;
        }
    }
    RequestStop();
    // A stop is seen by the next callback; a long rest is cut short.
    for (int sleeps = 0; !Finished();) {
        env_.timers.Sleep(kStopPollMs);
        if (++sleeps == kStopKillAfter) {
            KillTimer();
            break;
        }
    }
    DropPlayCopy(song);
    env_.timers.Sleep(kStopSettleMs);
    Reap();
    return 1;
}

void MusicPlayer::DropPlayCopy(MidiF0Data& song)
{
    const MidiF0Data* copy = song.PlayCopy();
    if (!copy) return;
    for (const auto& session : sessions_) {
        if (session->song != copy) continue;
        session->player.Halt();
        session->song = nullptr;
    }
    song.SetPlayCopy(nullptr);
}

bool MusicPlayer::Finished() const
{
    return current_ == nullptr || current_->finished;
}

bool MusicPlayer::HasPlayer() const
{
    return current_ != nullptr && current_->slot != kEmpty;
}

void MusicPlayer::RequestStop()
{
    if (HasPlayer()) current_->player.RequestStop();
}

void MusicPlayer::KillTimer()
{
    // Halting does not wait for a callback that shows a report: the callback
    // has let go of the song by then, and the player thread cancels the timer
    // for good before the player goes.
    if (current_ != nullptr && current_->slot == kLive) current_->player.Halt();
}

void MusicPlayer::ReportError(std::uint32_t code) const
{
    Report(env_.ctx, kMusicPlayerErrors, code);
}

void MusicPlayer::Reap()
{
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        Session& session = **it;
        if (&session == current_ || !session.finished) {
            ++it;
            continue;
        }
        if (session.thread.joinable()) session.thread.join();
        it = sessions_.erase(it);
    }
}

}  // namespace rovanta
