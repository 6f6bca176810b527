#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "pipelines/Controller.h"
#include "common/Files.h"
#include "common/ScriptedChooser.h"
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
    void ShowMessage(const std::string& text) override { Log("message " + text); }
    void RunAboutDialog() override { Log("about"); }
    int RunSettingsDialog(int option) override
    {
        Log("settings " + std::to_string(option));
        return settingsAnswer ? *settingsAnswer : option;
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
    std::optional<int> settingsAnswer;

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

TEST_F(ControllerTest, SettingsTakesTheDialogsValueBackAndInitResetsItToOne)
{
    EXPECT_EQ(control.RaiseOctave(), 1);
    window.settingsAnswer = 0;
    control.DispatchCommand(ctl::kSettings);
    EXPECT_EQ(control.RaiseOctave(), 0);
    window.settingsAnswer.reset();  // closed with Escape
    control.DispatchCommand(ctl::kSettings);
    EXPECT_EQ(control.RaiseOctave(), 0);
    EXPECT_EQ(window.Take(), (Strings{"settings 1", "paint", "settings 0", "paint"}));
    control.OnInit();
    EXPECT_EQ(control.RaiseOctave(), 1);
    EXPECT_EQ(window.Take(), (Strings{"menu 16 Rovantaのﾊﾞｰｼﾞｮﾝ情報(&A)...", "icon 128", "build skin"}));
}

TEST_F(ControllerTest, ALoadThatLeavesNothingDropsThePreviousSong)
{
    // A format-1 file whose only chunk is cut short: read with reports, nothing left.
    Bytes cut = test::Smf(1, 96, {test::Chunk("00 90 3C 40 | 10 80 3C 00 | 00 FF 2F 00")});
    cut.pop_back();
    const std::string damaged = dir_.Write("cut.mid", cut);
    const struct {
        std::optional<std::string> answer;
        bool reports;
    } cases[] = {{std::nullopt, false}, {damaged, true}, {dir_ / "missing.mid", true}};
    for (const auto& c : cases) {
        const std::string name = c.answer.value_or("(cancelled)");
        Load(song);
        ASSERT_NE(control.LoadedSong(), nullptr);
        window.Take();
        r.Take();
        const std::size_t asked = chooser.requests.size();
        Load(c.answer);
        EXPECT_EQ(control.LoadedSong(), nullptr) << name;
        EXPECT_EQ(r.Take().empty(), !c.reports) << name;
        control.DispatchCommand(ctl::kPlayStop);
        control.DispatchCommand(ctl::kSave);
        EXPECT_EQ(chooser.requests.size(), asked + 1) << name;  // Save asked nothing
        EXPECT_EQ(window.Take(), (Strings{"paint", "paint", "paint"})) << name;
        EXPECT_FALSE(control.Playing()) << name;
    }
    EXPECT_EQ(chooser.requests.at(0).filter, "SMF files|*.mid|");
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
    window.settingsAnswer = 0;
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

using ThreadedController = ControllerTest;

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
    // Loading while playing drops the loaded song; the playback goes on.
    Load(std::nullopt);
    control.DispatchCommand(ctl::kPlayStop);
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

}  // namespace
}  // namespace rovanta
