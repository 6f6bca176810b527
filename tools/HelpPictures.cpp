#include "tools/HelpPictures.h"

#include <QPainter>
#include <QPen>
#include <QRect>
#include <QRectF>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mirror/Pitch.h"
#include "pipelines/MirrorPipeline.h"
#include "song/MidiF0Data.h"
#include "song/MidiTrackData.h"
#include "song/MusicEvent.h"
#include "support/Report.h"
#include "support/RunContext.h"
#include "tools/Drawing.h"

namespace rovanta::drawing {

namespace {

// Any report means the pipeline did not do what the picture claims.
class CountingSink : public ReportSink {
public:
    void Show(std::string_view text) override
    {
        ++count;
        std::fprintf(stderr, "rovanta-draw-skin: report: %.*s\n", static_cast<int>(text.size()), text.data());
    }
    int count = 0;
};

struct Note {
    std::int64_t start;
    std::int64_t end;
    std::int32_t pitch;
};

using Changes = std::vector<std::pair<std::int64_t, std::int32_t>>;  // tick, value

// ---- Tiny songs, in paired form as a load leaves them ----

class SongBuilder {
public:
    explicit SongBuilder(std::int32_t division) : division_(division) {}

    SongBuilder& Note(std::int64_t tick, std::int32_t pitch, std::int32_t length)
    {
        MusicEvent e;
        e.kind = kind::kPairedNote;
        e.channel = 0;
        e.note = static_cast<std::uint8_t>(pitch);
        e.velocity = 100;
        e.duration = length;
        return Add(tick, std::move(e));
    }
    SongBuilder& Pedal(std::int64_t tick, std::int32_t value)
    {
        MusicEvent e;
        e.kind = kind::kControlChange;
        e.channel = 0;
        e.type = 64;
        e.value = value;
        return Add(tick, std::move(e));
    }
    // A time signature of `beats` quarter notes.
    SongBuilder& Meter(std::int64_t tick, std::uint8_t beats)
    {
        MusicEvent e;
        e.kind = kind::kMeta;
        e.type = meta::kTimeSignature;
        const std::uint8_t data[4] = {beats, 2, 24, 8};
        e.SetBytes(data, 4);
        e.value = beats * 256 + 4;
        return Add(tick, std::move(e));
    }

    MidiF0Data Build(RunContext& ctx, std::int64_t end) const
    {
        MidiF0Data song(ctx, kCapacity, track_state::kPaired, division_);
        std::vector<std::pair<std::int64_t, const MusicEvent*>> order;
        for (const auto& [tick, e] : events_) order.emplace_back(tick, &e);
        std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::int64_t at = 0;
        for (const auto& [tick, e] : order) {
            MusicEvent copy = *e;
            copy.delta = static_cast<std::int32_t>(tick - at);
            at = tick;
            song.Track().AppendEvent(std::move(copy));
        }
        song.Track().AppendEvent(MusicEvent::MakeEndOfTrack(static_cast<std::int32_t>(end - at)));
        return song;
    }

private:
    SongBuilder& Add(std::int64_t tick, MusicEvent e)
    {
        events_.emplace_back(tick, std::move(e));
        return *this;
    }

    std::int32_t division_;
    std::vector<std::pair<std::int64_t, MusicEvent>> events_;
};

// The notes of a song in event form, each note on matched with its note off.
std::vector<Note> NotesOf(const MidiF0Data& song)
{
    std::vector<Note> notes;
    std::map<std::pair<std::int32_t, std::int32_t>, std::vector<std::int64_t>> sounding;
    std::int64_t tick = 0;
    for (const MusicEvent& e : song.Track().Events()) {
        tick += e.delta;
        const auto key = std::make_pair(e.channel, e.note);
        if (e.kind == kind::kNoteOn && e.velocity > 0) {
            sounding[key].push_back(tick);
        } else if (e.kind == kind::kNoteOff || e.kind == kind::kNoteOn) {
            std::vector<std::int64_t>& starts = sounding[key];
            if (starts.empty()) continue;
            notes.push_back({starts.front(), tick, e.note});
            starts.erase(starts.begin());
        }
    }
    std::sort(notes.begin(), notes.end(), [](const Note& a, const Note& b) { return a.start < b.start; });
    return notes;
}

Changes PedalOf(const MidiF0Data& song)
{
    Changes pedal;
    std::int64_t tick = 0;
    for (const MusicEvent& e : song.Track().Events()) {
        tick += e.delta;
        if (e.kind == kind::kControlChange && e.type == 64) pedal.emplace_back(tick, e.value);
    }
    return pedal;
}

// ---- Figures ----

struct Panel {
    QString title;
    MirrorSettings settings;
    QColor colour;
    // What the help says comes out: the pitches in the order they start, the
    // first note's tick, the pedal's changes. Left empty where it says nothing.
    std::vector<std::int32_t> claimedPitches{};
    std::optional<std::int64_t> claimedStart{};
    std::optional<Changes> claimedPedal{};
    // Drawn as a dashed line: the axis of the reflection, twice its pitch.
    std::optional<std::int32_t> twiceAxis{};

    std::vector<Note> notes{};
    Changes pedal{};
};

struct Figure {
    const char* file;
    std::vector<Panel> panels;
    int panelWidth = 150;
    int rowHeight = 8;
    int labelWidth = 24;
    std::int64_t beat = 480;
    std::int64_t measure = 0;  // bar lines; none when 0
    bool names = false;        // each note's name on it
    bool pedalLane = false;
    bool stacked = false;      // panels one above another
};

std::string PitchList(const std::vector<Note>& notes)
{
    std::string text;
    // Appended piece by piece: g++ 12 warns falsely about "literal" + string at -O3.
    for (const Note& n : notes) {
        if (!text.empty()) text += ' ';
        text += AxisName(2 * n.pitch);
    }
    return text;
}

std::string ChangeList(const Changes& changes)
{
    std::string text;
    for (const auto& [tick, value] : changes) {
        if (!text.empty()) text += ' ';
        text += std::to_string(value);
        text += '@';
        text += std::to_string(tick);
    }
    return text;
}

// Runs the pipeline for every panel and holds it to the panel's claims.
bool Mirror(const MidiF0Data& loaded, Figure& figure, const CountingSink& sink)
{
    bool ok = true;
    for (Panel& panel : figure.panels) {
        const MidiF0Data copy = MirroredCopy(loaded, panel.settings);
        panel.notes = NotesOf(copy);
        panel.pedal = PedalOf(copy);
        const std::string name = figure.file + std::string(": ") + panel.title.toStdString();
        if (panel.notes.empty()) {
            std::fprintf(stderr, "rovanta-draw-skin: %s: no notes came out\n", name.c_str());
            ok = false;
            continue;
        }
        std::vector<std::int32_t> pitches;
        for (const Note& n : panel.notes) pitches.push_back(n.pitch);
        if (!panel.claimedPitches.empty() && pitches != panel.claimedPitches) {
            std::vector<Note> claimed;
            for (std::int32_t p : panel.claimedPitches) claimed.push_back({0, 0, p});
            std::fprintf(stderr, "rovanta-draw-skin: %s: the pipeline gave %s, the help says %s\n", name.c_str(),
                         PitchList(panel.notes).c_str(), PitchList(claimed).c_str());
            ok = false;
        }
        if (panel.claimedStart && panel.notes.front().start != *panel.claimedStart) {
            std::fprintf(stderr, "rovanta-draw-skin: %s: the first note starts at %lld, the help says %lld\n",
                         name.c_str(), static_cast<long long>(panel.notes.front().start),
                         static_cast<long long>(*panel.claimedStart));
            ok = false;
        }
        if (panel.claimedPedal && panel.pedal != *panel.claimedPedal) {
            std::fprintf(stderr, "rovanta-draw-skin: %s: the pedal goes %s, the help says %s\n", name.c_str(),
                         ChangeList(panel.pedal).c_str(), ChangeList(*panel.claimedPedal).c_str());
            ok = false;
        }
    }
    return ok && sink.count == 0;
}

bool IsBlackKey(std::int32_t pitch)
{
    switch (pitch % 12) {
    case 1: case 3: case 6: case 8: case 10: return true;
    default: return false;
    }
}

constexpr int kMargin = 10;
constexpr int kGap = 14;
constexpr int kTitleHeight = 22;
constexpr int kFooterHeight = 18;
constexpr int kLaneGap = 4;
constexpr int kLaneHeight = 18;

QImage Draw(const Figure& figure)
{
    std::int64_t length = 1;
    std::int32_t low = 127;
    std::int32_t high = 0;
    for (const Panel& panel : figure.panels) {
        for (const Note& n : panel.notes) {
            length = std::max(length, n.end);
            low = std::min(low, n.pitch);
            high = std::max(high, n.pitch);
        }
        if (panel.twiceAxis) {
            low = std::min(low, *panel.twiceAxis / 2);
            high = std::max(high, (*panel.twiceAxis + 1) / 2);
        }
    }
    low -= 2;
    high += 2;

    const int rowHeight = figure.rowHeight;
    const int rows = high - low + 1;
    const int rollHeight = rows * rowHeight;
    const int laneHeight = figure.pedalLane ? kLaneGap + kLaneHeight : 0;
    const int panelHeight = kTitleHeight + rollHeight + laneHeight + kFooterHeight;
    const int count = static_cast<int>(figure.panels.size());
    const int across = figure.stacked ? 1 : count;
    const int down = figure.stacked ? count : 1;
    const int width = 2 * kMargin + across * figure.panelWidth + (across - 1) * kGap;
    const int height = kMargin + down * panelHeight + (down - 1) * kGap + kMargin / 2;
    QImage image = Canvas(width, height, QColor(255, 255, 255));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    for (int i = 0; i < count; ++i) {
        const Panel& panel = figure.panels[static_cast<std::size_t>(i)];
        const int left = kMargin + (figure.stacked ? 0 : i * (figure.panelWidth + kGap));
        const int panelTop = kMargin + (figure.stacked ? i * (panelHeight + kGap) : 0);
        const int top = panelTop + kTitleHeight;
        const QRect roll(left + figure.labelWidth, top, figure.panelWidth - figure.labelWidth, rollHeight);
        const qreal perTick = roll.width() / static_cast<qreal>(length);
        const auto rowTop = [&](std::int32_t pitch) { return roll.top() + (high - pitch) * rowHeight; };

        p.setPen(QColor(32, 32, 32));
        p.setFont(Font(12, true));
        p.drawText(QRect(left, panelTop - 2, figure.panelWidth, kTitleHeight), Qt::AlignHCenter | Qt::AlignTop,
                   panel.title);

        // Keyboard rows, beat and bar lines, C labels.
        p.setPen(Qt::NoPen);
        for (std::int32_t pitch = low; pitch <= high; ++pitch) {
            p.setBrush(IsBlackKey(pitch) ? QColor(232, 234, 238) : QColor(248, 249, 251));
            p.drawRect(roll.left(), rowTop(pitch), roll.width(), rowHeight);
        }
        for (std::int64_t t = figure.beat; t < length; t += figure.beat) {
            const bool bar = figure.measure > 0 && t % figure.measure == 0;
            p.setPen(QPen(bar ? QColor(150, 156, 168) : QColor(214, 218, 226), 1));
            const qreal x = roll.left() + t * perTick;
            p.drawLine(QPointF(x, roll.top()), QPointF(x, roll.bottom() + 1));
        }
        if (figure.measure > 0) {
            p.setPen(QColor(120, 126, 138));
            p.setFont(Font(9, false));
            // Numbered as far as this panel's own notes go.
            std::int64_t end = 0;
            for (const Note& n : panel.notes) end = std::max(end, n.end);
            for (std::int64_t t = 0; t < end; t += figure.measure)
                p.drawText(QPointF(roll.left() + t * perTick + 3, roll.top() + 10),
                           QString::number(t / figure.measure + 1));
        }
        // The axis under the notes, through the middle of its note or between
        // two notes, named in the margin.
        const qreal axisY = panel.twiceAxis ? roll.top() + (high + 0.5 - *panel.twiceAxis / 2.0) * rowHeight : 0;
        if (panel.twiceAxis) {
            QPen dashed(QColor(200, 40, 40), 1.5);
            dashed.setDashPattern({4.0, 3.0});
            p.setPen(dashed);
            p.drawLine(QPointF(roll.left() + 1, axisY), QPointF(roll.right(), axisY));
            p.setPen(QColor(200, 40, 40));
            p.setFont(Font(9, true));
            p.drawText(QRectF(left, axisY - 7, figure.labelWidth - 4, 14), Qt::AlignRight | Qt::AlignVCenter,
                       QString::fromStdString(AxisName(*panel.twiceAxis)));
        }
        p.setFont(Font(9, false));
        for (std::int32_t pitch = low; pitch <= high; ++pitch) {
            if (pitch % 12 != 0) continue;
            const int y = rowTop(pitch);
            p.setPen(QPen(QColor(176, 182, 194), 1));
            p.drawLine(QPointF(roll.left(), y + rowHeight + 0.5), QPointF(roll.right() + 1, y + rowHeight + 0.5));
            if (panel.twiceAxis && std::abs(2 * pitch - *panel.twiceAxis) < 3) continue;  // named as the axis
            p.setPen(QColor(80, 80, 80));
            p.drawText(QRect(left, y + rowHeight / 2 - 7, figure.labelWidth - 4, 14),
                       Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("C%1").arg(pitch / 12 - 1));
        }
        p.setPen(QPen(QColor(150, 156, 168), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(roll).adjusted(0.5, 0.5, 0.5, 0.5));

        // Notes, with their names where they are asked for.
        for (const Note& n : panel.notes) {
            const qreal x0 = roll.left() + n.start * perTick + 0.5;
            const qreal x1 = roll.left() + n.end * perTick - 0.5;
            const qreal y = rowTop(n.pitch) + 0.5;
            const QRectF box(x0, y, x1 - x0, rowHeight - 1.0);
            p.setPen(QPen(panel.colour.darker(150), 1));
            p.setBrush(panel.colour);
            p.drawRoundedRect(box, 2, 2);
            if (figure.names) {
                p.setPen(QColor(255, 255, 255));
                p.setFont(Font(rowHeight - 3, true));
                p.drawText(box, Qt::AlignCenter, QString::fromStdString(AxisName(2 * n.pitch)));
            }
        }

        // The pedal: filled where it is down, from up before its first change.
        int footerTop = roll.bottom() + 3;
        if (figure.pedalLane) {
            const QRect lane(roll.left(), roll.bottom() + 1 + kLaneGap, roll.width(), kLaneHeight);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(248, 249, 251));
            p.drawRect(lane);
            p.setBrush(panel.colour.lighter(130));
            std::int64_t from = 0;
            std::int32_t value = 0;
            auto span = [&](std::int64_t to) {
                if (value >= 64 && to > from)
                    p.drawRect(QRectF(lane.left() + from * perTick, lane.top() + 3, (to - from) * perTick,
                                      lane.height() - 6));
            };
            for (const auto& [tick, changed] : panel.pedal) {
                span(tick);
                from = tick;
                value = changed;
            }
            span(length);
            p.setPen(QPen(QColor(150, 156, 168), 1));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(lane).adjusted(0.5, 0.5, 0.5, 0.5));
            p.setPen(QColor(80, 80, 80));
            p.setFont(Font(9, false));
            p.drawText(QRect(left, lane.top(), figure.labelWidth - 4, lane.height()), Qt::AlignRight | Qt::AlignVCenter,
                       QStringLiteral("Pedal"));
            footerTop = lane.bottom() + 3;
        }

        p.setPen(QColor(110, 110, 110));
        p.setFont(Font(10, false));
        p.drawText(QRect(roll.left(), footerTop, roll.width(), 14), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("time \u2192"));
    }
    return image;
}

bool WriteFigure(const MidiF0Data& loaded, Figure figure, const CountingSink& sink, const QDir& root)
{
    if (!Mirror(loaded, figure, sink)) {
        std::fprintf(stderr, "rovanta-draw-skin: the mirror pipeline did not give what %s shows\n", figure.file);
        return false;
    }
    return WriteOpaque(Draw(figure), root.filePath(QString::fromLatin1(figure.file)));
}

MirrorSettings Settings(bool horizontal, bool vertical, int raiseOctave, MirrorOptions options = {})
{
    MirrorSettings settings;
    settings.horizontal = horizontal;
    settings.vertical = vertical;
    settings.raiseOctave = raiseOctave;
    settings.options = options;
    return settings;
}

const QColor kBlue(70, 110, 200), kGreen(60, 160, 90), kOrange(220, 130, 50), kPurple(150, 90, 190),
    kTeal(30, 150, 160);

// A rising scale from middle C to the C above, quarters and eighths, ending
// on a half note; with the octave option on, as at every start.
bool WriteMelody(const QDir& root, RunContext& ctx, const CountingSink& sink)
{
    SongBuilder melody(480);
    melody.Note(0, 60, 480).Note(480, 62, 240).Note(720, 64, 240).Note(960, 65, 480).Note(1440, 67, 480);
    melody.Note(1920, 69, 240).Note(2160, 71, 240).Note(2400, 72, 960);
    Figure figure{"help/melody.png",
                  {{QStringLiteral("Original"), Settings(false, false, 1), kBlue, {60, 62, 64, 65, 67, 69, 71, 72}},
                   {QStringLiteral("Vertical Reverse"), Settings(false, true, 1), kGreen,
                    {72, 70, 68, 67, 65, 63, 61, 60}},
                   {QStringLiteral("Horizontal Reverse"), Settings(true, false, 1), kOrange,
                    {72, 71, 69, 67, 65, 64, 62, 60}},
                   {QStringLiteral("Both"), Settings(true, true, 1), kPurple, {60, 61, 63, 65, 67, 68, 70, 72}}}};
    return WriteFigure(melody.Build(ctx, 3360), std::move(figure), sink, root);
}

// Four notes under a sustain pedal that a file sets up at its start, goes
// down on the first note's second eighth and comes up with the third note.
bool WriteCurves(const QDir& root, RunContext& ctx, const CountingSink& sink)
{
    SongBuilder song(480);
    song.Pedal(0, 0).Pedal(240, 127).Pedal(1200, 0);
    song.Note(0, 60, 480).Note(480, 64, 480).Note(960, 67, 480).Note(1440, 72, 480);
    MirrorOptions curves;
    curves.controls = ControlMirroring::kCurves;
    Panel original{QStringLiteral("Original"), Settings(false, false, 1), kBlue, {60, 64, 67, 72}};
    original.claimedPedal = Changes{{0, 0}, {240, 127}, {1200, 0}};
    Panel instants{QStringLiteral("Backwards"), Settings(true, false, 1), kOrange, {72, 67, 64, 60}};
    instants.claimedPedal = Changes{{720, 0}, {1680, 127}, {1920, 0}};
    Panel mirrored{QStringLiteral("Backwards, curves"), Settings(true, false, 1, curves), kTeal, {72, 67, 64, 60}};
    mirrored.claimedPedal = Changes{{0, 0}, {720, 127}, {1680, 0}};
    Figure figure{"help/option-curves.png", {original, instants, mirrored}};
    figure.panelWidth = 170;
    figure.labelWidth = 36;
    figure.pedalLane = true;
    return WriteFigure(song.Build(ctx, 1920), std::move(figure), sink, root);
}

// A short arch, reflected about the channel's own C and about E4, with the
// octave option off so the reflection can be seen about its line.
bool WriteAxis(const QDir& root, RunContext& ctx, const CountingSink& sink)
{
    SongBuilder song(480);
    song.Note(0, 60, 480).Note(480, 64, 480).Note(960, 67, 480).Note(1440, 64, 480).Note(1920, 60, 960);
    MirrorOptions e4;
    e4.twiceAxis = 128;
    Panel original{QStringLiteral("Original"), Settings(false, false, 1), kBlue, {60, 64, 67, 64, 60}};
    Panel own{QStringLiteral("Each channel's C"), Settings(false, true, 0), kGreen, {60, 56, 53, 56, 60}};
    own.twiceAxis = 120;
    Panel chosen{QStringLiteral("Axis E4"), Settings(false, true, 0, e4), kPurple, {68, 64, 61, 64, 68}};
    chosen.twiceAxis = 128;
    Figure figure{"help/option-axis.png", {original, own, chosen}};
    figure.panelWidth = 160;
    return WriteFigure(song.Build(ctx, 2880), std::move(figure), sink, root);
}

// C4 D4 E4 F4 G4 reflected by half steps, within C major about C4, and within
// A minor about A3: the help's worked examples, octave option off.
bool WriteDiatonic(const QDir& root, RunContext& ctx, const CountingSink& sink)
{
    SongBuilder song(480);
    song.Note(0, 60, 480).Note(480, 62, 480).Note(960, 64, 480).Note(1440, 65, 480).Note(1920, 67, 480);
    MirrorOptions major;
    major.diatonic = true;
    major.key = MusicalKey{0, false};
    MirrorOptions minor;
    minor.diatonic = true;
    minor.key = MusicalKey{9, true};
    minor.twiceAxis = 114;
    Panel original{QStringLiteral("Original"), Settings(false, false, 1), kBlue, {60, 62, 64, 65, 67}};
    Panel chromatic{QStringLiteral("By half steps"), Settings(false, true, 0), kGreen, {60, 58, 56, 55, 53}};
    chromatic.twiceAxis = 120;
    Panel inC{QStringLiteral("In C major"), Settings(false, true, 0, major), kTeal, {60, 59, 57, 55, 53}};
    inC.twiceAxis = 120;
    Panel inAm{QStringLiteral("In A minor, A3"), Settings(false, true, 0, minor), kPurple, {53, 52, 50, 48, 47}};
    inAm.twiceAxis = 114;
    Figure figure{"help/option-diatonic.png", {original, chromatic, inC, inAm}};
    figure.panelWidth = 160;
    figure.rowHeight = 12;
    figure.names = true;
    return WriteFigure(song.Build(ctx, 2400), std::move(figure), sink, root);
}

// In 3/4: two silent measures, then a pickup on the third beat of measure
// three. The trim takes the two silent measures away and keeps the pickup's.
bool WriteTrim(const QDir& root, RunContext& ctx, const CountingSink& sink)
{
    SongBuilder song(480);
    song.Meter(0, 3);
    song.Note(3840, 62, 480).Note(4320, 67, 960).Note(5280, 71, 480).Note(5760, 74, 1440);
    MirrorOptions trim;
    trim.trim = true;
    Panel original{QStringLiteral("As loaded"), Settings(false, false, 1), kBlue, {62, 67, 71, 74}};
    original.claimedStart = 3840;
    Panel trimmed{QStringLiteral("Start at the first note"), Settings(false, false, 1, trim), kTeal, {62, 67, 71, 74}};
    trimmed.claimedStart = 960;
    Figure figure{"help/option-trim.png", {original, trimmed}};
    figure.panelWidth = 560;
    figure.measure = 1440;
    figure.stacked = true;
    return WriteFigure(song.Build(ctx, 7200), std::move(figure), sink, root);
}

}  // namespace

bool WriteHelpPictures(const QDir& root)
{
    CountingSink sink;
    RunContext ctx(sink);
    bool ok = WriteMelody(root, ctx, sink);
    ok = WriteCurves(root, ctx, sink) && ok;
    ok = WriteAxis(root, ctx, sink) && ok;
    ok = WriteDiatonic(root, ctx, sink) && ok;
    ok = WriteTrim(root, ctx, sink) && ok;
    return ok;
}

}  // namespace rovanta::drawing
