// The product's one-sweep track passes against the plain step-by-step ones on
// thousands of random tracks, plus a few hand-worked tracks that pin both.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/TestSinks.h"
#include "reference/LiteralTrackOps.h"
#include "reference/RandomTracks.h"
#include "song/MidiTrackData.h"

namespace rovanta {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::uint32_t kIterations = 300;
#else
constexpr std::uint32_t kIterations = 6000;
#endif

const std::string kInternalErrorText = "MDTK0D000001 MidiTrackData Internal Error";

// The first difference between two tracks, or "" when they are equal in count,
// state and every field of every event (bytes compared over the whole buffer,
// spare room included).
std::string FirstDifference(const MidiTrackData& a, const MidiTrackData& b)
{
    std::ostringstream out;
    if (a.State() != b.State()) out << "state " << a.State() << " vs " << b.State() << "\n";
    if (a.Count() != b.Count()) out << "count " << a.Count() << " vs " << b.Count() << "\n";
    const std::int32_t n = std::min(a.Count(), b.Count());
    for (std::int32_t i = 0; i < n; ++i) {
        const MusicEvent& x = a.At(i);
        const MusicEvent& y = b.At(i);
        const bool sameBytes = x.bytes.size() == y.bytes.size() &&
                               (x.bytes.size() == 0 || std::memcmp(x.bytes.data(), y.bytes.data(), x.bytes.size()) == 0);
        if (x.kind != y.kind || x.delta != y.delta || x.note != y.note || x.duration != y.duration ||
            x.velocity != y.velocity || x.type != y.type || x.value != y.value || x.length != y.length ||
            x.channel != y.channel || !sameBytes) {
            out << "first differing event at index " << i << "\n";
            break;
        }
    }
    return out.str();
}

std::string JoinReports(const std::vector<std::string>& reports)
{
    std::string out;
    for (const std::string& r : reports) out += "  " + r + "\n";
    return out.empty() ? "  (none)\n" : out;
}

struct Input {
    std::vector<MusicEvent> events;
    std::int32_t state;
};

Input EventFormInput(std::uint32_t seed) { return {test::RandomEventFormEvents(seed), track_state::kEventForm}; }
Input PairedFormInput(std::uint32_t seed) { return {test::RandomPairedFormEvents(seed), track_state::kPaired}; }

// Now and then the pass meets a track in a state it does not accept, so the
// state guards and their reports are compared too.
Input WithStrayState(Input input, std::uint32_t seed)
{
    if (seed % 29 == 7) input.state = static_cast<std::int32_t>((input.state + 1 + seed / 29 % 2) % 3);
    return input;
}

using Pass = std::function<void(MidiTrackData&)>;

// Runs both passes on identical copies of each random input; stops at the first
// disagreement and prints the seed, the input and both results.
void ExpectSameResults(const std::string& name, std::uint32_t seedBase,
                       const std::function<Input(std::uint32_t)>& makeInput, const Pass& product,
                       const Pass& literal, std::uint32_t iterations = kIterations)
{
    for (std::uint32_t n = 0; n < iterations; ++n) {
        const std::uint32_t seed = seedBase + n;
        const Input input = makeInput(seed);
        test::Recorded productRun;
        test::Recorded literalRun;
        MidiTrackData productTrack = test::MakeTrack(productRun.ctx, input.state, input.events);
        MidiTrackData literalTrack = test::MakeTrack(literalRun.ctx, input.state, input.events);
        product(productTrack);
        literal(literalTrack);
        const std::string difference = FirstDifference(productTrack, literalTrack);
        const std::vector<std::string> productReports = productRun.Take();
        const std::vector<std::string> literalReports = literalRun.Take();
        if (difference.empty() && productReports == literalReports) continue;

        test::Recorded scratch;
        const MidiTrackData original = test::MakeTrack(scratch.ctx, input.state, input.events);
        ADD_FAILURE() << name << ": product and literal disagree for seed " << seed << "\n"
                      << difference << "input " << test::DumpTrack(original) << "product "
                      << test::DumpTrack(productTrack) << "product reports:\n" << JoinReports(productReports)
                      << "literal " << test::DumpTrack(literalTrack) << "literal reports:\n"
                      << JoinReports(literalReports);
        return;
    }
}

TEST(TrackEquivalence, RemoveInvalidEventsInEitherForm)
{
    ExpectSameResults(
        "RemoveInvalidEvents", 1000000,
        [](std::uint32_t seed) { return seed % 2 ? EventFormInput(seed) : PairedFormInput(seed); },
        [](MidiTrackData& t) { t.RemoveInvalidEvents(); }, literal::RemoveInvalidEvents);
}

TEST(TrackEquivalence, PairNotes)
{
    ExpectSameResults(
        "PairNotes", 2000000, [](std::uint32_t seed) { return WithStrayState(EventFormInput(seed), seed); },
        [](MidiTrackData& t) { t.PairNotes(); }, literal::PairNotes);
}

TEST(TrackEquivalence, UnpairNotes)
{
    ExpectSameResults(
        "UnpairNotes", 3000000, [](std::uint32_t seed) { return WithStrayState(PairedFormInput(seed), seed); },
        [](MidiTrackData& t) { t.UnpairNotes(); }, literal::UnpairNotes);
}

TEST(TrackEquivalence, PairThenUnpair)
{
    ExpectSameResults(
        "PairNotes then UnpairNotes", 4000000, EventFormInput,
        [](MidiTrackData& t) {
            t.PairNotes();
            t.UnpairNotes();
        },
        [](MidiTrackData& t) {
            literal::PairNotes(t);
            literal::UnpairNotes(t);
        });
}

TEST(TrackEquivalence, RetimeForSeveralDivisions)
{
    struct Divisions {
        std::int32_t from;
        std::int32_t to;
    };
    const Divisions pairs[] = {{480, 96}, {96, 480}, {120, 96}, {1, 96}, {0, 96}, {96, 96}};
    std::uint32_t seedBase = 5000000;
    for (const Divisions& d : pairs) {
        ExpectSameResults(
            "Retime " + std::to_string(d.from) + " to " + std::to_string(d.to), seedBase,
            [](std::uint32_t seed) { return WithStrayState(PairedFormInput(seed), seed); },
            [d](MidiTrackData& t) { t.Retime(d.from, d.to); },
            [d](MidiTrackData& t) { literal::Retime(t, d.from, d.to); }, kIterations / 2);
        seedBase += 100000;
    }
}

TEST(TrackEquivalence, RetimeThenUnpairAsPlaybackDoes)
{
    ExpectSameResults(
        "Retime 480 to 96 then UnpairNotes", 6000000, PairedFormInput,
        [](MidiTrackData& t) {
            t.Retime(480, 96);
            t.UnpairNotes();
        },
        [](MidiTrackData& t) {
            literal::Retime(t, 480, 96);
            literal::UnpairNotes(t);
        });
}

TEST(TrackEquivalence, MoveControlsFirst)
{
    ExpectSameResults(
        "MoveControlsFirst", 7000000, [](std::uint32_t seed) { return WithStrayState(EventFormInput(seed), seed); },
        [](MidiTrackData& t) { t.MoveControlsFirst(); }, literal::MoveControlsFirst);
}

TEST(TrackEquivalence, MoveSysExFirst)
{
    ExpectSameResults(
        "MoveSysExFirst", 8000000, [](std::uint32_t seed) { return WithStrayState(EventFormInput(seed), seed); },
        [](MidiTrackData& t) { t.MoveSysExFirst(); }, literal::MoveSysExFirst);
}

TEST(TrackEquivalence, MoveNoteOffsFirst)
{
    ExpectSameResults(
        "MoveNoteOffsFirst", 9000000, [](std::uint32_t seed) { return WithStrayState(EventFormInput(seed), seed); },
        [](MidiTrackData& t) { t.MoveNoteOffsFirst(); }, literal::MoveNoteOffsFirst);
}

TEST(TrackEquivalence, WriterOrderOfTheThreePasses)
{
    ExpectSameResults(
        "MoveControlsFirst, MoveSysExFirst, MoveNoteOffsFirst", 10000000, EventFormInput,
        [](MidiTrackData& t) {
            t.MoveControlsFirst();
            t.MoveSysExFirst();
            t.MoveNoteOffsFirst();
        },
        [](MidiTrackData& t) {
            literal::MoveControlsFirst(t);
            literal::MoveSysExFirst(t);
            literal::MoveNoteOffsFirst(t);
        });
}

// Copies each random source with both copies into a table of the capacity that
// `capacityFor` gives; the copies must match, the sources must stay as they
// were, and no copied event may share its buffer with its source.
void ExpectSameCopies(std::uint32_t seedBase, const std::function<std::int32_t(const Input&)>& capacityFor)
{
    for (std::uint32_t n = 0; n < kIterations; ++n) {
        const std::uint32_t seed = seedBase + n;
        const Input input = WithStrayState(PairedFormInput(seed), seed);
        const std::int32_t capacity = capacityFor(input);
        test::Recorded productRun;
        test::Recorded literalRun;
        const MidiTrackData productSource = test::MakeTrack(productRun.ctx, input.state, input.events);
        const MidiTrackData literalSource = test::MakeTrack(literalRun.ctx, input.state, input.events);
        const MidiTrackData productCopy = MidiTrackData::Copy(productSource, capacity);
        const MidiTrackData literalCopy = literal::CopyTrack(literalSource, capacity);

        std::string difference = FirstDifference(productCopy, literalCopy);
        if (productCopy.Capacity() != capacity) difference += "copy capacity " + std::to_string(productCopy.Capacity()) + "\n";
        difference += FirstDifference(productSource, literalSource);
        for (std::int32_t i = 0; i < std::min(productCopy.Count(), productSource.Count()); ++i) {
            if (productCopy.At(i).bytes && productCopy.At(i).bytes.data() == productSource.At(i).bytes.data()) {
                difference += "copy shares the bytes of event " + std::to_string(i) + "\n";
                break;
            }
        }
        const std::vector<std::string> productReports = productRun.Take();
        const std::vector<std::string> literalReports = literalRun.Take();
        if (difference.empty() && productReports == literalReports) continue;
        ADD_FAILURE() << "Copy (capacity " << capacity << ") disagrees for seed " << seed << "\n"
                      << difference << "source " << test::DumpTrack(literalSource) << "product "
                      << test::DumpTrack(productCopy) << "product reports:\n" << JoinReports(productReports)
                      << "literal " << test::DumpTrack(literalCopy) << "literal reports:\n"
                      << JoinReports(literalReports);
        return;
    }
}

TEST(TrackEquivalence, CopyIsDeepAndMatchesEventByEvent)
{
    ExpectSameCopies(11000000, [](const Input&) { return kCapacity; });
}

// Every event appended to a full table is refused with its own report.
TEST(TrackEquivalence, CopyIntoATableTooSmallForTheSource)
{
    ExpectSameCopies(12000000, [](const Input& input) {
        return 3 * (static_cast<std::int32_t>(input.events.size()) / 2 + 1);
    });
}

// ---------------------------------------------------------------------------
// Hand-worked tracks, each run through both the product and the literal pass,
// so that the two cannot agree on a shared misreading.

struct Passes {
    const char* name;
    Pass pair;
    Pass unpair;
    std::function<void(MidiTrackData&, std::int32_t, std::int32_t)> retime;
    Pass controlsFirst;
    Pass sysExFirst;
    Pass noteOffsFirst;
};

const Passes kBoth[] = {
    {"product", [](MidiTrackData& t) { t.PairNotes(); }, [](MidiTrackData& t) { t.UnpairNotes(); },
     [](MidiTrackData& t, std::int32_t a, std::int32_t b) { t.Retime(a, b); },
     [](MidiTrackData& t) { t.MoveControlsFirst(); }, [](MidiTrackData& t) { t.MoveSysExFirst(); },
     [](MidiTrackData& t) { t.MoveNoteOffsFirst(); }},
    {"literal", literal::PairNotes, literal::UnpairNotes, literal::Retime, literal::MoveControlsFirst,
     literal::MoveSysExFirst, literal::MoveNoteOffsFirst},
};

MusicEvent Note(std::int32_t k, std::int32_t delta, std::int32_t note, std::int32_t velocity = 100,
                std::int32_t duration = 0)
{
    MusicEvent e(delta);
    e.kind = k;
    e.channel = 0;
    e.note = note;
    e.velocity = velocity;
    e.duration = duration;
    return e;
}

MusicEvent Other(std::int32_t k, std::int32_t delta, std::int32_t type = 0)
{
    MusicEvent e(delta);
    e.kind = k;
    e.channel = k == kind::kControlChange ? 0 : kNoChannel;
    e.type = type;
    return e;
}
MusicEvent Control(std::int32_t delta, std::int32_t controller) { return Other(kind::kControlChange, delta, controller); }
MusicEvent Eot(std::int32_t delta) { return Other(kind::kMeta, delta, meta::kEndOfTrack); }

// "kind/delta" per event, plus the note and duration of notes: enough to read
// a result at a glance.
std::string Shape(const MidiTrackData& track)
{
    std::string out;
    for (std::int32_t i = 0; i < track.Count(); ++i) {
        const MusicEvent& e = track.At(i);
        if (!out.empty()) out += ' ';
        // Appended piece by piece: g++ 12 warns falsely about "literal" + string at -O3.
        const auto put = [&out](const char* text, std::int64_t number) {
            out += text;
            out += std::to_string(number);
        };
        switch (e.kind) {
        case kind::kNoteOn: put("on", e.note); break;
        case kind::kNoteOff: put("off", e.note), put("v", e.velocity); break;
        case kind::kPairedNote: put("p", e.note), put(":", e.duration); break;
        case kind::kControlChange: put("cc", e.type); break;
        case kind::kSysEx: out += "sx"; break;
        case kind::kMeta: out += e.type == meta::kEndOfTrack ? "eot" : "meta"; break;
        default: put("k", e.kind);
        }
        put("/", e.delta);
    }
    return out;
}

enum class Step { kPair, kUnpair, kRetime480To96, kRetime0To96, kControlsFirst, kSysExFirst, kNoteOffsFirst, kWriterOrder };

void Apply(const Passes& passes, Step step, MidiTrackData& t)
{
    switch (step) {
    case Step::kPair: passes.pair(t); break;
    case Step::kUnpair: passes.unpair(t); break;
    case Step::kRetime480To96: passes.retime(t, 480, 96); break;
    case Step::kRetime0To96: passes.retime(t, 0, 96); break;
    case Step::kControlsFirst: passes.controlsFirst(t); break;
    case Step::kSysExFirst: passes.sysExFirst(t); break;
    case Step::kNoteOffsFirst: passes.noteOffsFirst(t); break;
    case Step::kWriterOrder:
        passes.controlsFirst(t);
        passes.sysExFirst(t);
        passes.noteOffsFirst(t);
        break;
    }
}

TEST(TrackPassesByHand, WorkedTracks)
{
    constexpr auto kEvents = track_state::kEventForm, kPaired = track_state::kPaired;
    const std::int32_t on = kind::kNoteOn, off = kind::kNoteOff, paired = kind::kPairedNote;
    MusicEvent otherChannel = Note(off, 5, 60);
    otherChannel.channel = 1;
    const std::vector<std::string> none, wrongForm{kInternalErrorText};
    const struct {
        const char* name;
        Step step;
        std::int32_t state;
        std::vector<MusicEvent> events;
        const char* shape;
        const std::vector<std::string>& reports;
    } cases[] = {
        // Pairing keeps every struck note.
        {"zero length at tick 0 is kept; a velocity-0 note on is a note off", Step::kPair, kEvents,
         {Note(on, 0, 60, 90), Note(off, 0, 60), Note(on, 0, 60, 80), Note(on, 480, 60, 0), Note(on, 10, 62),
          Control(5, 7), Eot(0)},
         "p60:0/0 p60:480/0 p62:5/490 cc7/5 eot/0", none},
        {"a re-strike ends the note; another channel's off does not; a stray off goes, keeping its time", Step::kPair,
         kEvents, {Note(on, 0, 60), Note(on, 10, 60), otherChannel, Note(off, 5, 60), Note(off, 20, 60), Note(off, 7, 60), Eot(3)},
         "p60:10/0 p60:10/10 eot/40", none},
        {"on, on, on, off", Step::kPair, kEvents,
         {Note(on, 0, 60), Note(on, 50, 60), Note(on, 150, 60), Note(off, 100, 60), Eot(0)},
         "p60:50/0 p60:150/50 p60:100/150 eot/100", none},
        {"the off in a re-strike's tick belongs to the note it cuts short, before or after the strike", Step::kPair,
         kEvents,
         {Note(on, 0, 60), Note(on, 150, 60), Note(off, 0, 60), Note(off, 50, 60), Note(on, 10, 60), Note(off, 5, 60),
          Note(on, 0, 60), Eot(20)},
         "p60:150/0 p60:50/150 p60:5/60 p60:20/5 eot/20", none},
        {"a note never ended lasts until the End of Track", Step::kPair, kEvents,
         {Note(on, 0, 60), Control(30, 7), Eot(70)}, "p60:100/0 cc7/30 eot/70", none},
        // Unpairing places each note off exactly.
        {"a note off lands at its tick, before the event already there", Step::kUnpair, kPaired,
         {Note(paired, 0, 60, 100, 480), Control(480, 7), Eot(0)}, "on60/0 off60v64/480 cc7/0 eot/0", none},
        {"a note that outlasts the End of Track pushes it to its own end", Step::kUnpair, kPaired,
         {Note(paired, 0, 60, 100, 960), Eot(480)}, "on60/0 off60v64/960 eot/0", none},
        {"zero length: note on, then its note off, in its tick; zero velocity: dropped, its time kept", Step::kUnpair,
         kPaired, {Note(paired, 4, 60, 100, 0), Note(paired, 6, 61, 0, 10), Eot(5)}, "on60/4 off60v64/0 eot/11", none},
        {"a zero-length note in the tick another note starts stays whole", Step::kUnpair, kPaired,
         {Note(paired, 0, 64, 100, 30), Note(paired, 0, 60, 100, 0), Eot(30)},
         "on64/0 on60/0 off60v64/0 off64v64/30 eot/0", none},
        {"each off before the next note on of its tick", Step::kUnpair, kPaired,
         {Note(paired, 0, 60, 100, 10), Note(paired, 10, 60, 100, 10), Eot(10)},
         "on60/0 off60v64/10 on60/0 off60v64/10 eot/0", none},
        {"offs ending together: the later note's first, before the note on there", Step::kUnpair, kPaired,
         {Note(paired, 0, 60, 100, 10), Note(paired, 5, 62, 100, 5), Note(paired, 5, 64, 100, 5), Eot(10)},
         "on60/0 on62/5 off62v64/5 off60v64/0 on64/0 off64v64/5 eot/5", none},
        // Retiming carries its rounding losses; no division leaves the track unscaled.
        {"rounding losses carried", Step::kRetime480To96, kPaired,
         {Control(1, 1), Control(1, 2), Control(1, 3), Control(1, 4), Note(paired, 1, 60, 100, 3), Control(2399, 5),
          Control(1, 6), Control(2400, 7)},
         "cc1/0 cc2/0 cc3/0 cc4/0 p60:1/1 cc5/479 cc6/1 cc7/480", none},
        {"no old division", Step::kRetime0To96, kPaired, {Control(7, 1), Note(paired, 3, 60, 100, 5)},
         "cc1/7 p60:5/3", none},
        // Reordering within a tick keeps every tick.
        {"at the start nothing trades places with the group's first event", Step::kControlsFirst, kEvents,
         {Control(0, 0), Control(0, 32), Note(on, 0, 60)}, "cc0/0 cc32/0 on60/0", none},
        {"later on, a moved first event trades places with the next moved one", Step::kControlsFirst, kEvents,
         {Note(on, 0, 60), Control(10, 0), Control(0, 32), Note(on, 0, 61)}, "on60/0 cc32/10 cc0/0 on61/0", none},
        {"a control behind a zero-length note leaves its note on before its note off", Step::kControlsFirst,
         kEvents, {Note(on, 0, 60), Note(off, 0, 60), Control(0, 7)}, "cc7/0 on60/0 off60v100/0", none},
        {"a long note struck after it keeps its length", Step::kWriterOrder, kEvents,
         {Note(on, 0, 60), Note(off, 0, 60), Note(on, 0, 60), Control(0, 1), Control(0, 24), Note(off, 9, 60)},
         "cc1/0 cc24/0 on60/0 off60v100/0 on60/0 off60v100/9", none},
        {"so does a system-exclusive message", Step::kSysExFirst, kEvents,
         {Note(on, 4, 60), Note(off, 0, 60), Other(kind::kSysEx, 0)}, "sx/4 on60/0 off60v100/0", none},
        {"the writer's order on one tick", Step::kWriterOrder, kEvents,
         {Note(on, 5, 60), Control(0, 7), Other(kind::kSysEx, 0), Note(off, 0, 62)}, "sx/5 cc7/0 off62v100/0 on60/0",
         none},
        {"a note off only trades with a note on of its own tick", Step::kNoteOffsFirst, kEvents,
         {Note(on, 0, 60), Note(on, 5, 61), Note(off, 0, 60), Note(on, 3, 62), Note(off, 1, 62)},
         "on60/0 off60v100/5 on61/0 on62/3 off62v100/1", none},
        {"a zero-length note's off stays behind its own on", Step::kNoteOffsFirst, kEvents,
         {Note(on, 0, 64), Note(on, 5, 60), Note(off, 0, 60)}, "on64/0 on60/5 off60v100/0", none},
        {"a note off trades with the nearest note on of another key that sounds on", Step::kNoteOffsFirst, kEvents,
         {Note(on, 0, 60), Note(on, 5, 62), Note(off, 0, 60)}, "on60/0 off60v100/5 on62/0", none},
        {"the end of a note struck earlier goes before the re-strike of its key", Step::kNoteOffsFirst, kEvents,
         {Note(on, 0, 60), Note(on, 5, 60), Note(on, 0, 61), Note(off, 0, 60)}, "on60/0 off60v100/5 on60/0 on61/0",
         none},
        {"the same when the earlier note was struck in the same tick", Step::kNoteOffsFirst, kEvents,
         {Note(on, 3, 60), Note(on, 0, 60), Note(on, 0, 61), Note(off, 0, 60)}, "on60/3 off60v100/0 on60/0 on61/0",
         none},
        {"with a zero-length re-strike, the earlier note's end comes first", Step::kNoteOffsFirst, kEvents,
         {Note(on, 0, 60), Note(on, 5, 60), Note(off, 0, 60), Note(off, 0, 60)}, "on60/0 off60v100/5 on60/0 off60v100/0",
         none},
        // Every pass but the system-exclusive one refuses a track in the wrong form.
        {"pair a paired track", Step::kPair, kPaired, {Note(on, 0, 60, 0)}, "on60/0", wrongForm},
        {"controls first in paired form", Step::kControlsFirst, kPaired, {Note(on, 0, 60), Control(0, 7)},
         "on60/0 cc7/0", wrongForm},
        {"note offs first in paired form", Step::kNoteOffsFirst, kPaired, {Note(on, 0, 60), Note(off, 0, 60)},
         "on60/0 off60v100/0", wrongForm},
        {"unpair in event form", Step::kUnpair, kEvents, {Note(paired, 0, 60, 0, 0)}, "p60:0/0", wrongForm},
        {"retime in event form", Step::kRetime480To96, kEvents, {Control(7, 1)}, "cc1/7", wrongForm},
        {"retime in event form without a division", Step::kRetime0To96, kEvents, {Control(7, 1)}, "cc1/7", wrongForm},
        {"system exclusive first has no form test", Step::kSysExFirst, kPaired, {Control(3, 7), Other(kind::kSysEx, 0)},
         "sx/3 cc7/0", none},
    };
    for (const Passes& passes : kBoth) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(passes.name) + ": " + c.name);
            test::Recorded run;
            MidiTrackData t = test::MakeTrack(run.ctx, c.state, c.events);
            Apply(passes, c.step, t);
            EXPECT_EQ(Shape(t), c.shape);
            EXPECT_EQ(run.Take(), c.reports);
        }
    }
}

TEST(TrackPassesByHand, CopyOfAnUnpairedTrackIsEmpty)
{
    using CopyFn = std::function<MidiTrackData(const MidiTrackData&)>;
    const CopyFn copies[] = {[](const MidiTrackData& s) { return MidiTrackData::Copy(s); },
                             [](const MidiTrackData& s) { return literal::CopyTrack(s); }};
    for (const CopyFn& copy : copies) {
        test::Recorded run;
        const MidiTrackData source = test::MakeTrack(run.ctx, track_state::kEventForm, {Control(1, 7)});
        const MidiTrackData result = copy(source);
        EXPECT_EQ(result.Count(), 0);
        EXPECT_EQ(result.State(), track_state::kPaired);
        EXPECT_EQ(run.Take(), std::vector<std::string>{kInternalErrorText});
    }
}

}  // namespace
}  // namespace rovanta
