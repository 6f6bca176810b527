// The product's one-sweep track passes against the plain one-event-at-a-time
// ones on thousands of random tracks, and hand-worked tracks run through both.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "common/Events.h"
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

using namespace test;
constexpr auto kEvents = track_state::kEventForm, kPaired = track_state::kPaired;
const std::string kInternalErrorText = "MDTK0D000001 MidiTrackData Internal Error";

// Equal in state and in every field of every event, bytes compared over the
// whole buffer, spare room included.
bool Same(const MidiTrackData& a, const MidiTrackData& b)
{
    const auto fields = [](const MusicEvent& e) {
        return std::tie(e.kind, e.delta, e.note, e.duration, e.velocity, e.type, e.value, e.length, e.channel);
    };
    const auto bytes = [](const MusicEvent& e) { return std::span(e.bytes.data(), e.bytes.size()); };
    return a.State() == b.State() && std::ranges::equal(a.Events(), b.Events(), [&](const auto& x, const auto& y) {
               return fields(x) == fields(y) && std::ranges::equal(bytes(x), bytes(y));
           });
}

std::string Shown(const MidiTrackData& track, const std::vector<std::string>& reports)
{
    std::string out = test::DumpTrack(track) + "reports:\n";
    for (const std::string& r : reports) out += "  " + r + "\n";
    return out;
}

struct Input {
    std::vector<MusicEvent> events;
    std::int32_t state;
};
using MakeInput = std::function<Input(std::uint32_t)>;

Input EventForm(std::uint32_t seed) { return {test::RandomEventFormEvents(seed), kEvents}; }
Input PairedForm(std::uint32_t seed) { return {test::RandomPairedFormEvents(seed), kPaired}; }

// Now and then the pass meets a track in a state it does not accept, so the
// state guards and their reports are compared too.
MakeInput WithStrayState(Input (*make)(std::uint32_t))
{
    return [make](std::uint32_t seed) {
        Input input = make(seed);
        if (seed % 29 == 7) input.state = static_cast<std::int32_t>((input.state + 1 + seed / 29 % 2) % 3);
        return input;
    };
}

// A pass as the product runs it and as the plain version does.
using Pass = std::function<void(MidiTrackData&)>;
struct Passes {
    Pass product, literal;
};
const Passes kRemoveInvalid{[](MidiTrackData& t) { t.RemoveInvalidEvents(); }, literal::RemoveInvalidEvents};
const Passes kPair{[](MidiTrackData& t) { t.PairNotes(); }, literal::PairNotes};
const Passes kUnpair{[](MidiTrackData& t) { t.UnpairNotes(); }, literal::UnpairNotes};
const Passes kControlsFirst{[](MidiTrackData& t) { t.MoveControlsFirst(); }, literal::MoveControlsFirst};
const Passes kSysExFirst{[](MidiTrackData& t) { t.MoveSysExFirst(); }, literal::MoveSysExFirst};
const Passes kNoteOffsFirst{[](MidiTrackData& t) { t.MoveNoteOffsFirst(); }, literal::MoveNoteOffsFirst};
Passes Retime(std::int32_t from, std::int32_t to)
{
    return {[=](MidiTrackData& t) { t.Retime(from, to); }, [=](MidiTrackData& t) { literal::Retime(t, from, to); }};
}
Passes InTurn(std::vector<Passes> passes)
{
    return {[=](MidiTrackData& t) { for (const Passes& p : passes) p.product(t); },
            [=](MidiTrackData& t) { for (const Passes& p : passes) p.literal(t); }};
}
const Passes kWriterOrder = InTurn({kControlsFirst, kSysExFirst, kNoteOffsFirst});

TEST(TrackEquivalence, EveryPassAgreesWithItsPlainVersionOnRandomTracks)
{
    const struct {
        std::string name;
        std::uint32_t seedBase;
        MakeInput input;
        Passes passes;
        std::uint32_t iterations = kIterations;
    } rows[] = {
        {"RemoveInvalidEvents", 1000000, [](std::uint32_t s) { return s % 2 ? EventForm(s) : PairedForm(s); },
         kRemoveInvalid},
        {"PairNotes", 2000000, WithStrayState(EventForm), kPair},
        {"UnpairNotes", 3000000, WithStrayState(PairedForm), kUnpair},
        {"PairNotes then UnpairNotes", 4000000, EventForm, InTurn({kPair, kUnpair})},
        {"Retime 480 to 96", 5000000, WithStrayState(PairedForm), Retime(480, 96), kIterations / 2},
        {"Retime 96 to 480", 5100000, WithStrayState(PairedForm), Retime(96, 480), kIterations / 2},
        {"Retime 120 to 96", 5200000, WithStrayState(PairedForm), Retime(120, 96), kIterations / 2},
        {"Retime 1 to 96", 5300000, WithStrayState(PairedForm), Retime(1, 96), kIterations / 2},
        {"Retime 0 to 96", 5400000, WithStrayState(PairedForm), Retime(0, 96), kIterations / 2},
        {"Retime 96 to 96", 5500000, WithStrayState(PairedForm), Retime(96, 96), kIterations / 2},
        {"Retime 480 to 96 then UnpairNotes, as playback does", 6000000, PairedForm,
         InTurn({Retime(480, 96), kUnpair})},
        {"MoveControlsFirst", 7000000, WithStrayState(EventForm), kControlsFirst},
        {"MoveSysExFirst", 8000000, WithStrayState(EventForm), kSysExFirst},
        {"MoveNoteOffsFirst", 9000000, WithStrayState(EventForm), kNoteOffsFirst},
        {"the writer's three reorderings in turn", 10000000, EventForm, kWriterOrder},
    };
    for (const auto& row : rows) {
        for (std::uint32_t seed = row.seedBase; seed < row.seedBase + row.iterations; ++seed) {
            const Input input = row.input(seed);
            test::Recorded productRun, literalRun, scratch;
            MidiTrackData product = test::MakeTrack(productRun.ctx, input.state, input.events);
            MidiTrackData literal = test::MakeTrack(literalRun.ctx, input.state, input.events);
            row.passes.product(product);
            row.passes.literal(literal);
            const auto productReports = productRun.Take(), literalReports = literalRun.Take();
            if (Same(product, literal) && productReports == literalReports) continue;
            ADD_FAILURE() << row.name << ": product and plain version disagree for seed " << seed << "\ninput "
                          << test::DumpTrack(test::MakeTrack(scratch.ctx, input.state, input.events)) << "product "
                          << Shown(product, productReports) << "plain " << Shown(literal, literalReports);
            break;
        }
    }
}

// Each random source is copied by both into a table of the given capacity
// (every event appended to a full one is refused with its own report): the
// copies match, the sources stay as they were, no copy shares a buffer.
TEST(TrackEquivalence, CopiesAgreeAndAreDeepAlsoIntoATableTooSmall)
{
    const std::function<std::int32_t(const Input&)> capacities[] = {
        [](const Input&) { return kCapacity; },
        [](const Input& in) { return 3 * (static_cast<std::int32_t>(in.events.size()) / 2 + 1); }};
    std::uint32_t seedBase = 11000000;
    for (const auto& capacityFor : capacities) {
        for (std::uint32_t seed = seedBase; seed < seedBase + kIterations; ++seed) {
            const Input input = WithStrayState(PairedForm)(seed);
            const std::int32_t capacity = capacityFor(input);
            test::Recorded productRun, literalRun;
            const MidiTrackData productSource = test::MakeTrack(productRun.ctx, input.state, input.events);
            const MidiTrackData literalSource = test::MakeTrack(literalRun.ctx, input.state, input.events);
            const MidiTrackData product = MidiTrackData::Copy(productSource, capacity);
            const MidiTrackData literal = literal::CopyTrack(literalSource, capacity);
            bool shared = false;
            for (std::int32_t i = 0; i < std::min(product.Count(), productSource.Count()); ++i) {
                const EventBytes& bytes = product.At(i).bytes;
                shared = shared || (bytes && bytes.data() == productSource.At(i).bytes.data());
            }
            const auto productReports = productRun.Take(), literalReports = literalRun.Take();
            if (Same(product, literal) && product.Capacity() == capacity && Same(productSource, literalSource) &&
                !shared && productReports == literalReports)
                continue;
            ADD_FAILURE() << "Copy into capacity " << capacity << " disagrees for seed " << seed
                          << (shared ? " (shares a buffer)" : "") << "\nsource " << test::DumpTrack(literalSource)
                          << "product " << Shown(product, productReports) << "plain " << Shown(literal, literalReports);
            break;
        }
        seedBase += 1000000;
    }
}

// ---------------------------------------------------------------------------
// Hand-worked tracks, each run through both the product and the plain pass,
// so that the two cannot agree on a shared misreading (the notes-kept examples
// pin more cases through a whole load and save).

// "kind/delta" per event, plus the note and duration of notes: enough to read
// a result at a glance.
std::string Shape(const MidiTrackData& track)
{
    std::string out;
    for (const MusicEvent& e : track.Events()) {
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

TEST(TrackPassesByHand, WorkedTracks)
{
    MusicEvent sysex(0);  // no bytes: only its kind counts here
    sysex.kind = kind::kSysEx;
    const Passes copy{[](MidiTrackData& t) { t = MidiTrackData::Copy(t); },
                      [](MidiTrackData& t) { t = literal::CopyTrack(t); }};
    const std::vector<std::string> none, wrongForm{kInternalErrorText};
    const struct {
        const char* name;
        Passes passes;
        std::int32_t state;
        std::vector<MusicEvent> events;
        const char* shape;
        const std::vector<std::string>& reports;
    } cases[] = {
        // Pairing keeps every struck note.
        {"zero length at tick 0 is kept; a velocity-0 note on is a note off", kPair, kEvents,
         {On(0, 0, 60, 90), Off(0, 0, 60), On(0, 0, 60, 80), On(480, 0, 60, 0), On(10, 0, 62),
          Cc(5, 0, 7, 0), Eot(0)},
         "p60:0/0 p60:480/0 p62:5/490 cc7/5 eot/0", none},
        {"a re-strike ends the note; another channel's off does not; a stray off goes, keeping its time", kPair,
         kEvents, {On(0, 0, 60), On(10, 0, 60), Off(5, 1, 60), Off(5, 0, 60), Off(20, 0, 60), Off(7, 0, 60), Eot(3)},
         "p60:10/0 p60:10/10 eot/40", none},
        {"the off in a re-strike's tick belongs to the note it cuts short, before or after the strike", kPair, kEvents,
         {On(0, 0, 60), On(150, 0, 60), Off(0, 0, 60), Off(50, 0, 60), On(10, 0, 60), Off(5, 0, 60),
          On(0, 0, 60), Eot(20)},
         "p60:150/0 p60:50/150 p60:5/60 p60:20/5 eot/20", none},
        // Unpairing places each note off exactly.
        {"a note off lands at its tick, before the event already there", kUnpair, kPaired,
         {Paired(0, 0, 60, 480, 100), Cc(480, 0, 7, 0), Eot(0)}, "on60/0 off60v64/480 cc7/0 eot/0", none},
        {"a note that outlasts the End of Track pushes it to its own end", kUnpair, kPaired,
         {Paired(0, 0, 60, 960, 100), Eot(480)}, "on60/0 off60v64/960 eot/0", none},
        {"zero length: note on, then its note off, in its tick; zero velocity: dropped, its time kept", kUnpair,
         kPaired, {Paired(4, 0, 60, 0, 100), Paired(6, 0, 61, 10, 0), Eot(5)}, "on60/4 off60v64/0 eot/11", none},
        {"each off before the next note on of its tick", kUnpair, kPaired,
         {Paired(0, 0, 60, 10, 100), Paired(10, 0, 60, 10, 100), Eot(10)},
         "on60/0 off60v64/10 on60/0 off60v64/10 eot/0", none},
        {"offs ending together: the later note's first, before the note on there", kUnpair, kPaired,
         {Paired(0, 0, 60, 10, 100), Paired(5, 0, 62, 5, 100), Paired(5, 0, 64, 5, 100), Eot(10)},
         "on60/0 on62/5 off62v64/5 off60v64/0 on64/0 off64v64/5 eot/5", none},
        // Retiming carries its rounding losses; no division leaves the track unscaled.
        {"rounding losses carried", Retime(480, 96), kPaired,
         {Cc(1, 0, 1, 0), Cc(1, 0, 2, 0), Cc(1, 0, 3, 0), Cc(1, 0, 4, 0), Paired(1, 0, 60, 3, 100), Cc(2399, 0, 5, 0),
          Cc(1, 0, 6, 0), Cc(2400, 0, 7, 0)},
         "cc1/0 cc2/0 cc3/0 cc4/0 p60:1/1 cc5/479 cc6/1 cc7/480", none},
        {"no old division", Retime(0, 96), kPaired, {Cc(7, 0, 1, 0), Paired(3, 0, 60, 5, 100)}, "cc1/7 p60:5/3", none},
        // Reordering within a tick keeps every tick.
        {"at the start nothing trades places with the group's first event", kControlsFirst, kEvents,
         {Cc(0, 0, 0, 0), Cc(0, 0, 32, 0), On(0, 0, 60)}, "cc0/0 cc32/0 on60/0", none},
        {"later on, a moved first event trades places with the next moved one", kControlsFirst, kEvents,
         {On(0, 0, 60), Cc(10, 0, 0, 0), Cc(0, 0, 32, 0), On(0, 0, 61)}, "on60/0 cc32/10 cc0/0 on61/0", none},
        {"a control behind a zero-length note leaves its note on before its note off", kControlsFirst, kEvents,
         {On(0, 0, 60), Off(0, 0, 60, 100), Cc(0, 0, 7, 0)}, "cc7/0 on60/0 off60v100/0", none},
        {"a long note struck after it keeps its length", kWriterOrder, kEvents,
         {On(0, 0, 60), Off(0, 0, 60, 100), On(0, 0, 60), Cc(0, 0, 1, 0), Cc(0, 0, 24, 0), Off(9, 0, 60, 100)},
         "cc1/0 cc24/0 on60/0 off60v100/0 on60/0 off60v100/9", none},
        {"so does a system-exclusive message", kSysExFirst, kEvents, {On(4, 0, 60), Off(0, 0, 60, 100), sysex},
         "sx/4 on60/0 off60v100/0", none},
        {"the writer's order on one tick", kWriterOrder, kEvents,
         {On(5, 0, 60), Cc(0, 0, 7, 0), sysex, Off(0, 0, 62, 100)}, "sx/5 cc7/0 off62v100/0 on60/0",
         none},
        {"a note off only trades with a note on of its own tick", kNoteOffsFirst, kEvents,
         {On(0, 0, 60), On(5, 0, 61), Off(0, 0, 60, 100), On(3, 0, 62), Off(1, 0, 62, 100)},
         "on60/0 off60v100/5 on61/0 on62/3 off62v100/1", none},
        {"a zero-length note's off stays behind its own on", kNoteOffsFirst, kEvents,
         {On(0, 0, 64), On(5, 0, 60), Off(0, 0, 60, 100)}, "on64/0 on60/5 off60v100/0", none},
        {"a note off trades with the nearest note on of another key that sounds on", kNoteOffsFirst, kEvents,
         {On(0, 0, 60), On(5, 0, 62), Off(0, 0, 60, 100)}, "on60/0 off60v100/5 on62/0", none},
        {"the end of a note struck earlier goes before the re-strike of its key", kNoteOffsFirst, kEvents,
         {On(0, 0, 60), On(5, 0, 60), On(0, 0, 61), Off(0, 0, 60, 100)}, "on60/0 off60v100/5 on60/0 on61/0",
         none},
        {"the same when the earlier note was struck in the same tick", kNoteOffsFirst, kEvents,
         {On(3, 0, 60), On(0, 0, 60), On(0, 0, 61), Off(0, 0, 60, 100)}, "on60/3 off60v100/0 on60/0 on61/0",
         none},
        {"with a zero-length re-strike, the earlier note's end comes first", kNoteOffsFirst, kEvents,
         {On(0, 0, 60), On(5, 0, 60), Off(0, 0, 60, 100), Off(0, 0, 60, 100)}, "on60/0 off60v100/5 on60/0 off60v100/0",
         none},
        // Every pass but the system-exclusive one refuses a track in the wrong form.
        {"pair a paired track", kPair, kPaired, {On(0, 0, 60, 0)}, "on60/0", wrongForm},
        {"controls first in paired form", kControlsFirst, kPaired, {On(0, 0, 60), Cc(0, 0, 7, 0)}, "on60/0 cc7/0",
         wrongForm},
        {"note offs first in paired form", kNoteOffsFirst, kPaired, {On(0, 0, 60), Off(0, 0, 60, 100)},
         "on60/0 off60v100/0", wrongForm},
        {"unpair in event form", kUnpair, kEvents, {Paired(0, 0, 60, 0, 0)}, "p60:0/0", wrongForm},
        {"retime in event form", Retime(480, 96), kEvents, {Cc(7, 0, 1, 0)}, "cc1/7", wrongForm},
        {"retime in event form without a division", Retime(0, 96), kEvents, {Cc(7, 0, 1, 0)}, "cc1/7", wrongForm},
        {"system exclusive first has no form test", kSysExFirst, kPaired, {Cc(3, 0, 7, 0), sysex},
         "sx/3 cc7/0", none},
        {"a copy of a track in event form is empty", copy, kEvents, {Cc(1, 0, 7, 0)}, "", wrongForm},
    };
    for (const bool product : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(product ? "product: " : "plain: ") + c.name);
            test::Recorded run;
            MidiTrackData t = test::MakeTrack(run.ctx, c.state, c.events);
            (product ? c.passes.product : c.passes.literal)(t);
            EXPECT_EQ(Shape(t), c.shape);
            EXPECT_EQ(run.Take(), c.reports);
        }
    }
}

}  // namespace
}  // namespace rovanta
