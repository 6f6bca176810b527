// rovanta-demo: walks a short melody through the song model and prints the
// track after every step, so the model can be seen working before the desktop
// application exists. Reports go to standard error.

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string_view>

#include "song/MidiF0Data.h"
#include "song/MidiTrackData.h"
#include "song/MusicEvent.h"
#include "song/Ticks.h"
#include "support/Report.h"
#include "support/RunContext.h"

using namespace rovanta;

namespace {

class StderrSink : public ReportSink {
public:
    void Show(std::string_view text) override
    {
        std::lock_guard lock(mutex_);
        std::fprintf(stderr, "report: %.*s\n", static_cast<int>(text.size()), text.data());
    }

private:
    std::mutex mutex_;
};

const char* KindName(const MusicEvent& e)
{
    switch (e.kind) {
    case kind::kNoteOn: return "note on";
    case kind::kNoteOff: return "note off";
    case kind::kPairedNote: return "note";
    case kind::kProgramChange: return "program";
    case kind::kMeta:
        if (e.type == meta::kTempo) return "tempo";
        if (e.type == meta::kEndOfTrack) return "end of track";
        return "meta";
    default: return "other";
    }
}

void Print(const char* title, const MidiF0Data& song)
{
    std::printf("\n%s (division %d, state %d)\n", title, static_cast<int>(song.division),
                static_cast<int>(song.State()));
    std::printf("%6s %6s  %-12s %3s  %s\n", "tick", "delta", "kind", "ch", "details");
    std::int32_t tick = 0;
    for (const MusicEvent& e : song.Track().Events()) {
        tick = AddTicks(tick, e.delta);
        std::printf("%6d %6d  %-12s ", static_cast<int>(tick), static_cast<int>(e.delta), KindName(e));
        if (e.channel == kNoChannel) {
            std::printf("%3s  ", "-");
        } else {
            std::printf("%3d  ", static_cast<int>(e.channel));
        }
        if (e.kind == kind::kPairedNote) {
            std::printf("note %d velocity %d duration %d", static_cast<int>(e.note),
                        static_cast<int>(e.velocity), static_cast<int>(e.duration));
        } else if (e.kind == kind::kNoteOn || e.kind == kind::kNoteOff) {
            std::printf("note %d velocity %d", static_cast<int>(e.note), static_cast<int>(e.velocity));
        } else if (e.IsMeta(meta::kTempo)) {
            std::printf("%d us per quarter note", static_cast<int>(e.value));
        }
        std::printf("\n");
    }
}

// A channel message as the reader stores it: decoded fields plus its 3 bytes.
MusicEvent Note(std::int32_t kindOf, std::int32_t delta, std::int32_t note, std::int32_t velocity)
{
    MusicEvent e(delta);
    e.kind = kindOf;
    e.channel = 0;
    e.note = note;
    e.velocity = velocity;
    const std::uint8_t message[3] = {static_cast<std::uint8_t>(kindOf), static_cast<std::uint8_t>(note),
                                     static_cast<std::uint8_t>(velocity)};
    e.SetBytes(message, 3);
    return e;
}

MusicEvent Meta(std::int32_t delta, std::int32_t type, std::int32_t length)
{
    MusicEvent e(delta);
    e.kind = kind::kMeta;
    e.type = type;
    if (length > 0) {
        const std::uint8_t zeros[3] = {};  // fixed metas keep zero bytes
        e.SetBytes(zeros, length);
    }
    return e;
}

}  // namespace

int main()
{
    StderrSink sink;
    RunContext ctx(sink);

    // C4 for a quarter, D4 and E4 for an eighth each, G4 for a half; at 480
    // ticks per quarter note.
    MidiF0Data song(ctx, kCapacity, track_state::kEventForm, 480);
    MidiTrackData& track = song.Track();
    MusicEvent tempo = Meta(0, meta::kTempo, 3);
    tempo.value = 500000;  // 120 beats per minute
    track.AppendEvent(std::move(tempo));
    track.AppendEvent(Note(kind::kNoteOn, 0, 60, 100));
    track.AppendEvent(Note(kind::kNoteOff, 480, 60, 64));
    track.AppendEvent(Note(kind::kNoteOn, 0, 62, 90));
    track.AppendEvent(Note(kind::kNoteOff, 240, 62, 64));
    track.AppendEvent(Note(kind::kNoteOn, 0, 64, 90));
    track.AppendEvent(Note(kind::kNoteOn, 240, 64, 0));  // velocity 0: a note off
    track.AppendEvent(Note(kind::kNoteOn, 0, 67, 110));
    track.AppendEvent(Note(kind::kNoteOff, 960, 67, 64));
    track.AppendEvent(Meta(0, meta::kEndOfTrack, 0));
    Print("Melody in event form", song);

    song.PairTrack();
    Print("After PairTrack: each note is one event with a duration", song);

    MidiF0Data copy = MidiF0Data::Copy(song);
    copy.Track().Retime(480, 96);
    copy.division = 96;
    Print("A copy, re-timed from 480 to 96 ticks per quarter note", copy);

    copy.UnpairTrack();
    Print("The copy after UnpairTrack: note-ons and note-offs again", copy);

    Print("The original is unchanged", song);
    return 0;
}
