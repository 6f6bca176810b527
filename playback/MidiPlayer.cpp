#include "playback/MidiPlayer.h"

#include <limits>
#include <utility>

#include "song/Ticks.h"
#include "support/RunContext.h"

namespace rovanta {

namespace {
constexpr ErrorText kRows[] = {
    {mdpl::kDivisionTooLarge, "Division is too large!"},
    {mdpl::kCanNotUseTimer, "Can not use timer!"},
    {mdpl::kTempoTooSlow, "Tempo is too slow!"},
    {mdpl::kInternalError, "Internal error occured in MidiPlayer!"},
    {mdpl::kPlayPointWrong, "Play point is wrong!"},
    {mdpl::kTempoWrong, "Tempo is wrong!"},
    {mdpl::kDataInvalid, "Musical data is invalid!"},
};

constexpr std::uint32_t kPreRollGapMs = 50;
constexpr std::uint32_t kStartTempo = 240;
constexpr std::int32_t kStartSpeed = 100;
}  // namespace

const ErrorTable kPlayerErrors{"MDPL", kRows, "Error occured in MidiPlayer!"};

MidiPlayer::MidiPlayer(const PlaybackEnv& env)
    : ctx_(&env.ctx), ports_(&env.ports), timers_(&env.timers), osMajorVersion_(env.osMajorVersion)
{
}

MidiPlayer::~MidiPlayer()
{
    Release();
    FlushReports();
}

void MidiPlayer::PlaySong(MidiF0Data& song, int deviceId, TickCallback tick, std::int32_t initialTick)
{
    std::unique_lock lock(mutex_);
    if (halted_) return;
    tick_ = std::move(tick);
    tickTime_ = initialTick;
    const std::uint32_t resolution = Prepare(lock, song, deviceId);
    if (resolution == 0 || halted_) return;
    // The first event goes out one period from now, whatever its own delta.
    timerId_ = ArmNext(period_, resolution);
    if (timerId_ == 0) ReportError(mdpl::kCanNotUseTimer);
}

std::uint32_t MidiPlayer::Prepare(std::unique_lock<std::mutex>& lock, MidiF0Data& song, int deviceId)
{
    if (song.State() != track_state::kEventForm || !song.HasTrack()) {
        ReportError(mdpl::kInternalError);
        return 0;
    }
    song_ = &song;
    device_ = std::make_unique<MidiControler>(*ctx_, kept_, *ports_, deviceId);
    if (!device_->IsOpen()) {
        device_.reset();
        running_ = false;
        return 0;
    }
    device_->SendGmSystemOn();
    running_ = true;
    tempo_ = kStartTempo;
    speed_ = kStartSpeed;
    index_ = 0;
    // Without a note-on there is nothing to time: playback counts as running
    // until it is stopped.
    if (osMajorVersion_ >= 6 && !PreRoll(lock)) return 0;

    // The period is one tick at the tempo in force now; no ticks per minute
    // means no period at all.
    const std::int64_t ticksPerMinute = TicksPerMinute();
    period_ = ticksPerMinute > 0 ? static_cast<std::uint32_t>(60000 / ticksPerMinute) : 0;
    if (period_ < timers_->MinPeriod()) {
        ReportError(mdpl::kDivisionTooLarge);
        return 0;
    }
    timers_->BeginPeriod(period_);
    periodRequested_ = true;
    return timers_->MinPeriod();
}

bool MidiPlayer::PreRoll(std::unique_lock<std::mutex>& lock)
{
    // Everything before the first note-on goes out slowly, untimed and
    // unannounced, so that slow devices take every set-up message.
    const MidiTrackData& track = song_->Track();
    while (index_ < track.Count() && track.At(index_).kind != kind::kNoteOn) {
        Advance(track.At(index_));
        if (index_ >= track.Count()) return false;
        lock.unlock();
        timers_->Sleep(kPreRollGapMs);
        lock.lock();
        if (halted_) return false;
    }
    return index_ < track.Count();
}

std::int32_t MidiPlayer::Advance(const MusicEvent& event)
{
    SendEvent(event);
    ++index_;
    const MidiTrackData& track = song_->Track();
    if (index_ >= track.Count()) return -1;
    const std::int32_t next = track.At(index_).delta;
    if (next < 0) ReportError(mdpl::kDataInvalid);
    return next;
}

void MidiPlayer::SendEvent(const MusicEvent& e)
{
    // A damaged channel number must not turn into another kind of message.
    const std::int32_t channel = e.channel & 0x0F;
    switch (e.kind) {
    case kind::kNoteOff: device_->NoteOff(e.note, channel); break;
    case kind::kNoteOn: device_->NoteOn(e.note, e.velocity, channel); break;
    case kind::kControlChange: device_->SendShort(e.value, e.type, kind::kControlChange | channel); break;
    case kind::kProgramChange: device_->ProgramChange(e.value, channel); break;
    case kind::kPitchBend: device_->SendShort(e.value, e.note, kind::kPitchBend | channel); break;
    case kind::kSysEx:
    case kind::kSysExEscape: device_->SendLong(e.Bytes()); break;
    case kind::kMeta:
        if (e.type == meta::kTempo) ApplyTempo(e.value);
        break;
    default: break;  // pressure and anything unknown are not played
    }
}

void MidiPlayer::ApplyTempo(std::int32_t microsPerQuarter)
{
    const std::int32_t q = microsPerQuarter / 1000;
    if (q <= 0) {
        ReportError(mdpl::kTempoWrong);
        tempo_ = 60;
        return;
    }
    tempo_ = static_cast<std::uint32_t>(60000 / q);
    if (tempo_ < 10) {
        ReportError(mdpl::kTempoTooSlow);
        tempo_ = 10;
    }
}

std::int64_t MidiPlayer::TicksPerMinute() const
{
    const double product = static_cast<double>(std::int64_t{song_->division} * speed_) * tempo_ * 0.01;
    return static_cast<std::int64_t>(product);
}

std::uint32_t MidiPlayer::DelayOf(std::int32_t delta) const
{
    // In 64 bits, so that long rests are timed right.
    const std::int64_t ticksPerMinute = TicksPerMinute();
    if (ticksPerMinute <= 0) return 0;
    const std::int64_t delay = std::int64_t{delta} * 60000 / ticksPerMinute;
    return delay > std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max()
                                                              : static_cast<std::uint32_t>(delay);
}

TimerId MidiPlayer::ArmNext(std::uint32_t delayMs, std::uint32_t resolutionMs)
{
    return timers_->Arm(delayMs, resolutionMs, [this](TimerId) { OnTimer(); });
}

void MidiPlayer::OnTimer()
{
    RunContext& ctx = *ctx_;
    std::vector<std::string> reports;
    bool ended = false;
    {
        std::lock_guard lock(mutex_);
        if (halted_) return;
        if (stop_) {
            ended = true;
        } else {
            const MidiTrackData& track = song_->Track();
            ended = true;
            while (index_ < track.Count()) {
                const MusicEvent& event = track.At(index_);
                tickTime_ = AddTicks(tickTime_, event.delta);
                if (tick_) tick_(index_, tickTime_, &event);
                const std::int32_t next = Advance(event);
                if (next < 0) break;
                const std::uint32_t delay = DelayOf(next);
                if (delay >= 1) {
                    timerId_ = ArmNext(delay, period_);
                    // Without a timer the chain stops here; playback counts
                    // as running until it is stopped.
                    if (timerId_ == 0) ReportError(mdpl::kCanNotUseTimer);
                    ended = false;
                    break;
                }
            }
        }
        reports = kept_.Take();
    }
    // The song is let go of: a report box blocks only this thread (and with it
    // the rest of the song), never a thread that waits for the song.
    for (const std::string& text : reports) ctx.Show(text);
    // Without a new timer this callback's id is still the one Release cancels,
    // and that waits for the callback: the player is still alive here.
    if (ended) running_ = false;
}

bool MidiPlayer::HasDevice() const
{
    std::lock_guard lock(mutex_);
    return device_ != nullptr;
}

void MidiPlayer::Halt()
{
    std::lock_guard lock(mutex_);
    halted_ = true;
    stop_ = true;
    running_ = false;
}

void MidiPlayer::Release()
{
    TimerId pending = 0;
    {
        std::lock_guard lock(mutex_);
        halted_ = true;
        pending = std::exchange(timerId_, 0);
    }
    // No timer can be armed any more; this one either never runs or has
    // returned once Cancel does.
    timers_->Cancel(pending);
    std::unique_ptr<MidiControler> device;
    {
        std::lock_guard lock(mutex_);
        device = std::move(device_);
        if (periodRequested_) {
            timers_->EndPeriod(period_);
            periodRequested_ = false;
        }
        tick_ = nullptr;
        song_ = nullptr;
    }
    // Outside the lock: a port may take its time to close.
    if (device) device->Close();
}

void MidiPlayer::FlushReports()
{
    for (const std::string& text : kept_.Take()) ctx_->Show(text);
}

void MidiPlayer::Defer(std::string text)
{
    kept_.Show(text);
}

std::uint32_t MidiPlayer::Period() const
{
    std::lock_guard lock(mutex_);
    return period_;
}

void MidiPlayer::ReportError(std::uint32_t code)
{
    kept_.Show(FormatReport(kPlayerErrors, code));
}

}  // namespace rovanta
