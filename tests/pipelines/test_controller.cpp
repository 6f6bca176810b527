#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "pipelines/Controller.h"
#include "common/Files.h"
#include "common/ScriptedChooser.h"
#include "common/SmfNotes.h"
#include "common/TestSinks.h"
#include "playback/PlaybackFakes.h"
#include "playback/TimerThread.h"
#include "smf/SmfBytes.h"
#include "support/FileChooser.h"

namespace rovanta {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

// Records the window calls; posted tasks wait until the test pumps them, as
// queued messages wait for the window thread.
class FakeWindow : public WindowOps {
public:
    void AppendAboutMenuEntry(int id, const std::string& text) override { Log("menu " + std::to_string(id) + " " + text); }
    void SetWindowIcon(int id) override { Log("icon " + std::to_string(id)); }
    void BuildSkin() override { Log("build skin"); }
    void DestroySkin() override { Log("destroy skin"); }
    void SetCaption(int code, const std::string& text) override { Log("caption " + std::to_string(code) + " " + text); }
    void PresentAll(Group group) override { Log("present " + std::to_string(static_cast<int>(group))); }
    int IsChecked(int index) override { return checked[index]; }
    void SetTickText(const std::string& text) override { Log("tick " + text); }
    void SetTitle(const std::string& title) override { Log("title " + title); }
    void ShowNotice(const std::string& text) override { Log("notice " + text); }
    void MirrorChanged() override { Log("mirror changed"); }
    // Kept apart: a playback sends many.
    void ShowPlayPosition(std::optional<double> seconds) override { positions.push_back(seconds); }
    RenderResult RunExport(const std::string& path, ExportWork work) override
    {
        Log("export " + path);
        // The window runs it on a worker; the controller only waits for the result.
        std::atomic<bool> cancel{cancelExport};
        RenderControl control;
        control.cancel = &cancel;
        return work(control);
    }
    void ShowMessage(const std::string& text) override { Log("message " + text); }
    void RunAboutDialog() override { Log("about"); }
    SettingsChoice RunSettingsDialog(const SettingsChoice& current) override
    {
        Log("settings " + std::to_string(current.raiseOctave));
        shown = current;
        return settingsAnswer ? *settingsAnswer : current;
    }
    // A store that keeps the options as the user's settings file would.
    MirrorOptions RememberedOptions() override { return remembered; }
    void RememberOptions(const MirrorOptions& options) override
    {
        Log("remember");
        remembered = options;
    }
    void OpenHelp(const std::string& file, const std::string& topic) override { Log("help " + file + " " + topic); }
    void EndWithAccept() override { Log("accept"); }
    void PostPaint() override { Log("paint"); }
    bool IsMinimized() override { return false; }
    void PaintMinimizedIcon(int id) override { Log("minimized icon " + std::to_string(id)); }
    void DefaultPaint() override { Log("default paint"); }
    void InvalidateControl(int id) override { Log("invalidate " + std::to_string(id)); }
    void PostToWindowThread(std::function<void()> task) override
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(task));
    }

    // Runs the queued tasks on the calling (window) thread.
    void Pump()
    {
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard lock(mutex_);
                if (posted_.empty()) return;
                task = std::move(posted_.front());
                posted_.pop_front();
            }
            task();
        }
    }
    Strings Take() { return std::exchange(calls_, {}); }

    int checked[2] = {0, 0};
    std::optional<SettingsChoice> settingsAnswer;  // unset: closed with Escape
    SettingsChoice shown;                          // what the dialog was opened with
    MirrorOptions remembered;
    bool minimized = false;
    bool cancelExport = false;  // the export is cancelled as soon as it starts
    std::vector<std::optional<double>> positions;

private:
    void Log(std::string call) { calls_.push_back(std::move(call)); }
    Strings calls_;
    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
};

using test::ScriptedChooser;

// The note number of the first note-on in an SMF image; -1 when none.
int FirstNoteOn(const Bytes& file)
{
    for (std::size_t i = 22; i + 1 < file.size(); ++i)
        if ((file[i] & 0xF0) == 0x90) return file[i + 1];
    return -1;
}

class ControllerTest : public ::testing::Test {
protected:
    ControllerTest()
    {
        // C4 held for 192 ticks (two bytes of delta).
        song = dir_.Write("in.mid", test::Smf(0, 96, {test::Chunk("00 90 3C 64 | 81 40 80 3C 00 | 00 FF 2F 00")}));
        control.OnInit();
        window.Take();
    }

    void Load(const std::optional<std::string>& answer)
    {
        chooser.answers.push_back(answer);
        control.DispatchCommand(ctl::kLoad);
    }

    test::TempDir dir_;

public:
    std::string song;
    test::Recorded r;
    FakeWindow window;
    ScriptedChooser chooser;
    RealTimerService timers;
    test::RecordingPorts ports{[this] { return timers.NowMicros(); }};
    Controller control{r.ctx, chooser, window, PlaybackEnv{r.ctx, ports, timers, 6}};
};

// The tests that start playbacks: real player and timer threads.
using ThreadedController = ControllerTest;

TEST_F(ControllerTest, EveryCommandRepaintsAndPlaySaveOrExportWithoutASongSaySoOnce)
{
    const std::string nothing = "message No MIDI file is loaded. Load one first.";
    control.DispatchCommand(ctl::kPlayStop);
    EXPECT_EQ(window.Take(), (Strings{nothing, "paint"}));
    control.DispatchCommand(ctl::kSave);
    EXPECT_EQ(window.Take(), (Strings{nothing, "paint"}));
    control.ExportAudio();
    EXPECT_EQ(window.Take(), (Strings{nothing}));
    control.DispatchCommand(6);
    control.DispatchCommand(-1);
    EXPECT_EQ(window.Take(), (Strings{"paint", "paint"}));
    EXPECT_TRUE(chooser.requests.empty());
    EXPECT_FALSE(control.Playing());

    control.DispatchCommand(ctl::kHelp);
    control.DispatchCommand(ctl::kQuit);
    EXPECT_EQ(window.Take(), (Strings{"help Rovanta.chm top.htm", "paint", "accept", "paint"}));
    EXPECT_TRUE(r.Take().empty());
}

TEST_F(ControllerTest, SettingsTakesTheDialogsValueBackAndInitResetsItToOne)
{
    EXPECT_EQ(control.RaiseOctave(), 1);
    window.settingsAnswer = SettingsChoice{0, {}};
    control.DispatchCommand(ctl::kSettings);
    EXPECT_EQ(control.RaiseOctave(), 0);
    window.settingsAnswer.reset();  // closed with Escape
    control.DispatchCommand(ctl::kSettings);
    EXPECT_EQ(control.RaiseOctave(), 0);
    // Only the change tells the window that Play and Save would make another mirror.
    EXPECT_EQ(window.Take(), (Strings{"settings 1", "mirror changed", "paint", "settings 0", "paint"}));
    control.OnInit();
    EXPECT_EQ(control.RaiseOctave(), 1);
    EXPECT_EQ(window.Take(), (Strings{"menu 16 Rovantaのﾊﾞｰｼﾞｮﾝ情報(&A)...", "icon 128", "build skin"}));
}

MirrorOptions Curves()
{
    MirrorOptions o;
    o.controls = ControlMirroring::kCurves;
    return o;
}
MirrorOptions About(std::int32_t twiceAxis, bool diatonic = false, std::optional<MusicalKey> key = std::nullopt)
{
    MirrorOptions o;
    o.twiceAxis = twiceAxis;
    o.diatonic = diatonic;
    o.key = key;
    return o;
}
MirrorOptions InKey(std::optional<MusicalKey> key)
{
    MirrorOptions o;
    o.diatonic = true;
    o.key = key;
    return o;
}
MirrorOptions Trimmed()
{
    MirrorOptions o;
    o.trim = true;
    return o;
}

TEST_F(ControllerTest, RememberedOptionsAreLoadedAtInitAndOnlyAChangeIsKept)
{
    MirrorOptions everything = About(129, true, MusicalKey{9, true});
    everything.controls = ControlMirroring::kCurves;
    everything.trim = true;
    for (const MirrorOptions& kept : {MirrorOptions{}, Curves(), About(128), InKey(std::nullopt),
                                      InKey(MusicalKey{7, false}), Trimmed(), everything}) {
        window.settingsAnswer = SettingsChoice{0, control.Options()};
        control.DispatchCommand(ctl::kSettings);
        window.remembered = kept;
        control.OnInit();
        EXPECT_EQ(control.Options(), kept);
        EXPECT_EQ(control.RaiseOctave(), 1) << "the octave option is not remembered";
        window.Take();

        // The dialog opens with them; closing it unchanged keeps nothing.
        window.settingsAnswer.reset();
        control.DispatchCommand(ctl::kSettings);
        EXPECT_EQ(window.shown, (SettingsChoice{1, kept}));
        window.settingsAnswer = SettingsChoice{0, kept};
        control.DispatchCommand(ctl::kSettings);
        EXPECT_EQ(window.Take(), (Strings{"settings 1", "paint", "settings 1", "mirror changed", "paint"}));
        EXPECT_EQ(control.RaiseOctave(), 0);
    }
    // A change is kept at once, for the next run.
    window.settingsAnswer = SettingsChoice{1, Trimmed()};
    control.DispatchCommand(ctl::kSettings);
    EXPECT_EQ(window.Take(), (Strings{"settings 0", "remember", "mirror changed", "paint"}));
    EXPECT_EQ(window.remembered, Trimmed());
    EXPECT_EQ(control.Options(), Trimmed());
}

TEST_F(ThreadedController, ACancelledOrFailedLoadKeepsTheSongLoadedBefore)
{
    // A format-1 file whose only chunk is cut short: read with reports, nothing left.
    const std::uint8_t cut[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 0, 96,
                                'M', 'T', 'r', 'k', 0, 0, 0, 12, 0, 0x90, 0x3C, 0x40, 0x10, 0x80, 0x3C, 0, 0, 0xFF, 0x2F};
    const std::string damaged = dir_.Write("cut.mid", Bytes(std::begin(cut), std::end(cut)));
    const std::string text = dir_.Write("notes.mid", Bytes{'n', 'o', 't', ' ', 'M', 'I', 'D', 'I'});
    const struct {
        std::optional<std::string> answer;
        bool reports;
    } cases[] = {{std::nullopt, false}, {damaged, true}, {text, true}, {dir_ / "missing.mid", true}};
    Load(song);
    const MidiF0Data* loaded = control.LoadedSong();
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(window.Take(), (Strings{"title in.mid — Rovanta", "mirror changed", "paint"}));
    for (const auto& c : cases) {
        const std::string name = c.answer.value_or("(cancelled)");
        r.Take();
        Load(c.answer);
        EXPECT_EQ(control.LoadedSong(), loaded) << name;
        EXPECT_EQ(r.Take().empty(), !c.reports) << name;
        // Neither the title nor what the roll shows changes.
        EXPECT_EQ(window.Take(), (Strings{"paint"})) << name;

        // Save goes on with the song.
        const std::string out = dir_ / "after.mid";
        chooser.answers.push_back(out);
        control.DispatchCommand(ctl::kSave);
        EXPECT_EQ(FirstNoteOn(test::ReadBytes(out)), 0x3C) << name;
        window.Take();
    }
    // So does Play.
    control.DispatchCommand(ctl::kPlayStop);
    EXPECT_TRUE(control.Playing());
    ASSERT_NE(control.MirrorCopy(), nullptr);
    control.DispatchCommand(ctl::kPlayStop);
    window.Take();
    EXPECT_EQ(chooser.requests.at(0).filter, "MIDI files|*.mid;*.midi;*.kar;*.rmi|All files|*|");
    EXPECT_FALSE(chooser.requests.at(0).save);

    // Another song that loads replaces it.
    const std::string second = dir_.Write("Second Song.MID", test::ReadBytes(song));
    EXPECT_TRUE(control.LoadFile(second));
    EXPECT_NE(control.LoadedSong(), nullptr);
    EXPECT_EQ(window.Take(), (Strings{"title Second Song.MID — Rovanta", "mirror changed"}));
    EXPECT_FALSE(control.LoadFile(dir_ / "missing.mid"));
    EXPECT_TRUE(window.Take().empty());
}

TEST_F(ControllerTest, ASaveThatWroteSaysWhereWithoutABox)
{
    Load(song);
    window.Take();
    const std::string out = dir_ / "mirrored.mid";
    const struct {
        std::optional<std::string> answer;
        Strings calls;
    } cases[] = {
        {out, {"notice Saved to " + out, "paint"}},
        {std::nullopt, {"paint"}},                       // cancelled
        {dir_ / "no-such-folder/x.mid", {"paint"}},  // not written: the reports say why
    };
    for (const auto& c : cases) {
        chooser.answers.push_back(c.answer);
        control.DispatchCommand(ctl::kSave);
        EXPECT_EQ(window.Take(), c.calls) << c.answer.value_or("(cancelled)");
    }
    EXPECT_FALSE(r.Take().empty()) << "the failed write reported";
}

TEST_F(ControllerTest, SaveMirrorsByTheTogglesAndOptionAndLeavesTheLoadedSongAlone)
{
    Load(song);
    const MidiF0Data* loaded = control.LoadedSong();
    ASSERT_NE(loaded, nullptr);
    const std::size_t events = loaded->Track().Events().size();
    const std::string plain = dir_ / "plain.mid", raised = dir_ / "raised.mid", flat = dir_ / "flat.mid";

    // The octave option alone changes no pitch.
    chooser.answers.push_back(plain);
    control.DispatchCommand(ctl::kSave);
    window.checked[1] = 1;
    chooser.answers.push_back(raised);
    control.DispatchCommand(ctl::kSave);
    window.settingsAnswer = SettingsChoice{0, {}};
    control.DispatchCommand(ctl::kSettings);
    chooser.answers.push_back(flat);
    control.DispatchCommand(ctl::kSave);

    EXPECT_EQ(FirstNoteOn(test::ReadBytes(plain)), 0x3C);
    const int up = FirstNoteOn(test::ReadBytes(raised)), down = FirstNoteOn(test::ReadBytes(flat));
    ASSERT_GE(down, 0);
    EXPECT_EQ(up - down, 12);
    EXPECT_EQ(control.LoadedSong(), loaded);
    EXPECT_EQ(loaded->Track().Events().size(), events);
    EXPECT_EQ(loaded->Track().Events()[0].note, 0x3C);
    EXPECT_EQ(control.MirrorCopy(), nullptr);
}

TEST_F(ControllerTest, ExportAudioRendersWhatPlayWouldPlayIntoTheChosenFile)
{
    Load(song);
    window.Take();
    const bool soundFont = FindSoundFont(SynthConfig{}).has_value();
    const std::string missingFont = dir_ / "none.sf2";
    const struct Case {
        const char* name;
        std::optional<std::string> answer;
        bool cancel;
        bool noSoundFont;
        std::string written;  // empty: nothing is
        Strings calls;
    } cases[] = {
        {"wav", dir_ / "a.wav", false, false, dir_ / "a.wav",
         {"export " + dir_ / "a.wav", "notice Exported to " + dir_ / "a.wav"}},
        {"no extension: the chosen type's", dir_ / "b", false, false, dir_ / "b.wav",
         {"export " + dir_ / "b.wav", "notice Exported to " + dir_ / "b.wav"}},
        {"flac in capitals", dir_ / "c.FLAC", false, false, dir_ / "c.FLAC",
         {"export " + dir_ / "c.FLAC", "notice Exported to " + dir_ / "c.FLAC"}},
        {"cancelled while rendering", dir_ / "d.wav", true, false, "", {"export " + dir_ / "d.wav"}},
        {"dialog cancelled", std::nullopt, false, false, "", {}},
        {"no SoundFont", dir_ / "e.wav", false, true, "",
         {"export " + dir_ / "e.wav",
          "message The built-in synthesizer cannot render: no General MIDI SoundFont was found."}},
    };
    std::vector<std::string> expectedFiles{song};
    for (const Case& c : cases) {
        if (!soundFont && !c.noSoundFont && c.answer) continue;
        window.cancelExport = c.cancel;
        SynthConfig synth;
        if (c.noSoundFont) synth.soundFont = missingFont;
        control.SetExportSynth(synth);
        chooser.answers.push_back(c.answer);
        control.ExportAudio();
        EXPECT_EQ(window.Take(), c.calls) << c.name;
        EXPECT_TRUE(chooser.requests.back().save) << c.name;
        EXPECT_EQ(chooser.requests.back().filter, "WAV audio|*.wav|FLAC audio|*.flac|Ogg Vorbis audio|*.ogg|");
        if (c.written.empty()) continue;
        expectedFiles.push_back(c.written);
        const Bytes head = test::ReadBytes(c.written);
        ASSERT_GE(head.size(), 4u) << c.name;
        const std::string magic(head.begin(), head.begin() + 4);
        EXPECT_EQ(magic, std::string(c.name[0] == 'f' ? "fLaC" : "RIFF")) << c.name;
    }
    // Nothing else was left in the folder: no partial file of the cancelled
    // or failed renders.
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    std::sort(expectedFiles.begin(), expectedFiles.end());
    EXPECT_EQ(files, expectedFiles);
    if (!soundFont) GTEST_SKIP() << "no General MIDI SoundFont: only the cases that write nothing ran";
}

TEST_F(ThreadedController, QuitIsRefusedWhilePlayingAndStopKeepsTheMirrorCopy)
{
    Load(song);
    window.Take();
    control.DispatchCommand(ctl::kPlayStop);
    EXPECT_TRUE(control.Playing());
    ASSERT_NE(control.MirrorCopy(), nullptr);
    control.DispatchCommand(ctl::kQuit);
    EXPECT_EQ(window.Take(), (Strings{"caption 3       Stop", "paint", "message Can not quit while midi is playing!",
                                      "paint"}));
    control.DispatchCommand(ctl::kPlayStop);
    EXPECT_FALSE(control.Playing());
    EXPECT_NE(control.MirrorCopy(), nullptr);
    // Notifications of the stopped playback still queued are dropped.
    window.Pump();
    control.DispatchCommand(ctl::kQuit);
    EXPECT_EQ(window.Take(), (Strings{"caption 3       Play", "paint", "accept", "paint"}));
}

TEST_F(ThreadedController, TheNaturalEndRelabelsAndTheTickDisplayKeepsItsLastValue)
{
    Load(song);
    control.DispatchCommand(ctl::kPlayStop);
    // Loading while playing leaves the playback alone, whether the Load is
    // cancelled or loads another song.
    Load(std::nullopt);
    Load(song);
    EXPECT_TRUE(control.Playing());
    window.Take();
    ASSERT_TRUE(test::Eventually([&] { return !control.Playing(); }, [&] { window.Pump(); }));
    const Strings calls = window.Take();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front(), "tick 0");
    EXPECT_EQ(Strings(calls.end() - 3, calls.end()), (Strings{"tick 192", "caption 3       Play", "present 1"}));
    control.DispatchCommand(ctl::kQuit);
    EXPECT_EQ(window.Take(), (Strings{"accept", "paint"}));
}

// A format-0 song: C4 for `quarters` quarter notes after a rest of `rest`
// quarters, with a tempo event (microseconds a quarter) when given.
Bytes OneNote(int division, std::optional<std::uint32_t> tempo, int rest, int quarters)
{
    auto vlq = [](Bytes& out, std::uint32_t value) {
        Bytes groups{static_cast<std::uint8_t>(value & 0x7F)};
        while (value >>= 7) groups.push_back(static_cast<std::uint8_t>((value & 0x7F) | 0x80));
        out.insert(out.end(), groups.rbegin(), groups.rend());
    };
    Bytes track;
    if (tempo) {
        track.insert(track.end(), {0, 0xFF, 0x51, 3, static_cast<std::uint8_t>(*tempo >> 16),
                                   static_cast<std::uint8_t>(*tempo >> 8), static_cast<std::uint8_t>(*tempo)});
    }
    vlq(track, static_cast<std::uint32_t>(rest * division));
    track.insert(track.end(), {0x90, 0x3C, 0x64});
    vlq(track, static_cast<std::uint32_t>(quarters * division));
    track.insert(track.end(), {0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00});
    Bytes file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, static_cast<std::uint8_t>(division >> 8),
               static_cast<std::uint8_t>(division), 'M', 'T', 'r', 'k', 0, 0, 0,
               static_cast<std::uint8_t>(track.size())};
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

TEST_F(ThreadedController, ThePlayPositionFollowsTheTicksInSecondsOfTheMirrorsTimeLine)
{
    const struct {
        const char* name;
        int division;
        std::optional<std::uint32_t> tempo;
        int rest, quarters;
        double first, last;  // seconds
    } cases[] = {
        {"96 a quarter, no tempo: 120 a minute", 96, std::nullopt, 0, 2, 0.0, 1.0},
        {"480 a quarter at 60 a minute", 480, 1000000, 0, 2, 0.0, 2.0},
        // Play leaves out the empty first measure: the line starts at its end.
        {"120 a quarter at 240 a minute after a measure's rest", 120, 250000, 4, 4, 1.0, 2.0},
    };
    for (const auto& c : cases) {
        Load(dir_.Write(std::string(c.name) + ".mid", OneNote(c.division, c.tempo, c.rest, c.quarters)));
        ASSERT_NE(control.LoadedSong(), nullptr) << c.name;
        window.positions.clear();
        control.DispatchCommand(ctl::kPlayStop);
        ASSERT_TRUE(test::Eventually([&] { return !control.Playing(); }, [&] { window.Pump(); })) << c.name;
        const auto& seen = window.positions;
        ASSERT_GE(seen.size(), 3u) << c.name;
        EXPECT_EQ(seen.back(), std::nullopt) << c.name << ": the end takes the line away";
        ASSERT_TRUE(seen.front() && seen[seen.size() - 2]) << c.name;
        EXPECT_NEAR(*seen.front(), c.first, 1e-9) << c.name;
        EXPECT_NEAR(*seen[seen.size() - 2], c.last, 1e-9) << c.name;
        for (std::size_t i = 1; i + 1 < seen.size(); ++i) EXPECT_LE(*seen[i - 1], *seen[i]) << c.name;
    }
    // Stop takes the line away too.
    window.positions.clear();
    control.DispatchCommand(ctl::kPlayStop);
    control.DispatchCommand(ctl::kPlayStop);
    window.Pump();
    ASSERT_FALSE(window.positions.empty());
    EXPECT_EQ(window.positions.back(), std::nullopt);
}

// Format 0, 96 ticks per quarter, in G major: an empty first measure, then
// C4 D4 E4 F4 as quarters from tick 384, the sustain pedal down with the
// first note and up at tick 528, the End of Track at 768.
constexpr std::uint8_t kPedalSong[] = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
    'M', 'T', 'r', 'k', 0, 0, 0, 51,
    0x00, 0xFF, 0x59, 0x02, 0x01, 0x00,
    0x83, 0x00, 0xB0, 0x40, 0x7F, 0x00, 0x90, 0x3C, 0x64,
    0x60, 0x80, 0x3C, 0x00, 0x00, 0x90, 0x3E, 0x64,
    0x30, 0xB0, 0x40, 0x00, 0x30, 0x80, 0x3E, 0x00, 0x00, 0x90, 0x40, 0x64,
    0x60, 0x80, 0x40, 0x00, 0x00, 0x90, 0x41, 0x64,
    0x60, 0x80, 0x41, 0x00, 0x00, 0xFF, 0x2F, 0x00};

using Pedal = std::vector<std::pair<std::int64_t, int>>;  // tick, value

struct Heard {
    std::vector<int> keys;  // in the order they start
    std::int64_t firstTick = -1;
};

Heard NotesOfFile(const Bytes& file)
{
    Heard heard;
    const std::vector<test::NoteTrack> tracks = test::ReadNoteTracks(file);
    if (tracks.empty()) return heard;
    for (const test::NoteEvent& e : tracks[0].events) {
        if (!e.on) continue;
        if (heard.keys.empty()) heard.firstTick = e.tick;
        heard.keys.push_back(e.key);
    }
    return heard;
}

// The notes and sustain-pedal changes of a mirror copy in paired form.
std::pair<Heard, Pedal> ContentOf(const MidiF0Data& copy)
{
    Heard heard;
    Pedal pedal;
    std::int64_t tick = 0;
    for (const MusicEvent& e : copy.Track().Events()) {
        tick += e.delta;
        if (e.kind == kind::kPairedNote) {
            if (heard.keys.empty()) heard.firstTick = tick;
            heard.keys.push_back(e.note);
        } else if (e.kind == kind::kControlChange && e.type == 64) {
            pedal.emplace_back(tick, e.value);
        }
    }
    return {heard, pedal};
}

TEST_F(ThreadedController, TheDialogsOptionsReachEveryPlayAndSave)
{
    const std::string pedalSong = dir_.Write("pedal.mid", Bytes(std::begin(kPedalSong), std::end(kPedalSong)));
    const MusicalKey cMajor{0, false};
    const Pedal asWritten{{384, 127}, {528, 0}};
    // Worked out by hand from the song above; the channel's range C4..F4 puts
    // its own axis on C4, and Vertical Reverse raises an octave unless the
    // dialog's octave option is off.
    const struct Case {
        const char* name;
        bool horizontal, vertical;
        SettingsChoice choice;
        std::vector<int> keys;
        std::int64_t firstTick;
        Pedal pedal;
        bool play;  // a Play takes a while to wind down: some cases play too
    } cases[] = {
        {"as loaded", false, false, {1, {}}, {60, 62, 64, 65}, 384, asWritten, false},
        {"trimmed", false, false, {1, Trimmed()}, {60, 62, 64, 65}, 0, {{0, 127}, {144, 0}}, true},
        {"musical options need Vertical Reverse", false, false, {1, About(128, true, cMajor)}, {60, 62, 64, 65}, 384,
         asWritten, false},
        {"about each channel's C", false, true, {1, {}}, {72, 70, 68, 67}, 384, asWritten, false},
        {"octave off", false, true, {0, {}}, {60, 58, 56, 55}, 384, asWritten, false},
        {"about E4", false, true, {1, About(128)}, {80, 78, 76, 75}, 384, asWritten, false},
        {"between E4 and F4", false, true, {1, About(129)}, {81, 79, 77, 76}, 384, asWritten, false},
        // G major: F4 is a raised E, mirrored to a lowered A.
        {"in the song's key", false, true, {1, InKey(std::nullopt)}, {72, 71, 69, 68}, 384, asWritten, false},
        {"in C major", false, true, {1, InKey(cMajor)}, {72, 71, 69, 67}, 384, asWritten, false},
        {"in C major about E4", false, true, {1, About(128, true, cMajor)}, {79, 77, 76, 74}, 384, asWritten, true},
        // Mirrored about tick 768: each pedal change moves on its own...
        {"backwards", true, false, {1, {}}, {65, 64, 62, 60}, 0, {{240, 0}, {384, 127}}, false},
        // ...or the pedal's course is mirrored: up at the start, down from the
        // mirror of its release to the mirror of its press.
        {"backwards with curves", true, false, {1, Curves()}, {65, 64, 62, 60}, 0, {{0, 0}, {240, 127}, {384, 0}},
         true},
    };
    Load(pedalSong);
    ASSERT_NE(control.LoadedSong(), nullptr);
    const auto [loadedNotes, loadedPedal] = ContentOf(*control.LoadedSong());
    ASSERT_EQ(loadedNotes.keys, (std::vector<int>{60, 62, 64, 65}));
    for (const Case& c : cases) {
        window.checked[0] = c.horizontal;
        window.checked[1] = c.vertical;
        window.settingsAnswer = c.choice;
        control.DispatchCommand(ctl::kSettings);

        const std::string out = dir_ / (std::string(c.name) + ".mid");
        chooser.answers.push_back(out);
        control.DispatchCommand(ctl::kSave);
        const Heard saved = NotesOfFile(test::ReadBytes(out));
        EXPECT_EQ(saved.keys, c.keys) << c.name;
        EXPECT_EQ(saved.firstTick, c.firstTick) << c.name;

        if (!c.play) continue;
        control.DispatchCommand(ctl::kPlayStop);
        ASSERT_TRUE(control.Playing()) << c.name;
        ASSERT_NE(control.MirrorCopy(), nullptr) << c.name;
        const auto [played, pedal] = ContentOf(*control.MirrorCopy());
        control.DispatchCommand(ctl::kPlayStop);
        EXPECT_EQ(played.keys, c.keys) << c.name;
        EXPECT_EQ(played.firstTick, c.firstTick) << c.name;
        EXPECT_EQ(pedal, c.pedal) << c.name;
    }
    const auto [notesAfter, pedalAfter] = ContentOf(*control.LoadedSong());
    EXPECT_EQ(notesAfter.keys, loadedNotes.keys) << "the loaded song is never changed";
    EXPECT_EQ(pedalAfter, loadedPedal);
}

}  // namespace
}  // namespace rovanta
