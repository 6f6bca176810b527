#pragma once
// The logic of the main window: owns the loaded song (through its loader), the
// mirror copy of the last Play, the playing flag, the raise-octave option and
// the musical mirror options (kept by the window between runs);
// maps the push buttons' command codes to Quit, Help, Load, Play/Stop, Save and
// Settings, and shows the player's tick and end notifications.
//
// Threads: everything here runs on the window thread only, including
// OnPlaybackTick and OnPlaybackEnd. The player calls its callbacks on its timer
// and player threads; the controller hands it callbacks that only post the
// notification to the window thread (WindowOps::PostToWindowThread), so the
// flag and the window are never touched from two threads. A posted
// notification from a playback that has since been stopped or replaced is
// dropped, so a late end cannot clear the flag of the next Play.

#include <cstdint>
#include <memory>
#include <optional>

#include "pipelines/PlayPipeline.h"
#include "pipelines/WindowOps.h"
#include "playback/MusicPlayer.h"
#include "smf/MidiFileLoader.h"

namespace rovanta {

class FileChooser;
class RunContext;

namespace ctl {
inline constexpr int kQuit = 0, kHelp = 1, kLoad = 2, kPlayStop = 3, kSave = 4, kSettings = 5;
inline constexpr int kAboutCommand = 0x10;
inline constexpr int kIcon = 128;
inline constexpr int kTickDisplay = 1014;
inline constexpr int kTickLabel = 1015;
inline constexpr const char* kPlayCaption = "      Play";
inline constexpr const char* kStopCaption = "      Stop";
inline constexpr const char* kQuitRefused = "Can not quit while midi is playing!";
inline constexpr const char* kAboutEntry = "Rovantaのﾊﾞｰｼﾞｮﾝ情報(&A)...";
inline constexpr const char* kHelpFile = "Rovanta.chm";
inline constexpr const char* kHelpTopic = "top.htm";
}  // namespace ctl

class Controller {
public:
    // Everything injected must outlive the controller.
    Controller(RunContext& ctx, FileChooser& chooser, WindowOps& window, const PlaybackEnv& env);
    // Stops a playback still running before its song goes.
    ~Controller();

    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // A push button was pressed: its operation, then a queued repaint.
    void DispatchCommand(std::int32_t code);

    void RequestQuit();
    void ShowHelp();
    void LoadSong();
    void TogglePlay();
    void SaveSong();
    void OpenSettings();

    // The player's notifications, once they have reached the window thread.
    void OnPlaybackTick(std::int32_t index, std::int32_t tick, const MusicEvent* event);
    int OnPlaybackEnd();

    void OnInit();
    void OnPaint();
    void OnDestroy();
    // True when the id was the About entry; other ids go to the default handling.
    bool OnWindowMenu(std::uint32_t id);

    bool Playing() const { return playing_; }
    int RaiseOctave() const { return raiseOctave_; }
    const MirrorOptions& Options() const { return options_; }
    const MidiF0Data* LoadedSong() const { return loader_ ? loader_->Song() : nullptr; }
    const MidiF0Data* MirrorCopy() const { return pipeline_ ? pipeline_->MirrorCopy() : nullptr; }

private:
    MirrorSettings CurrentSettings();

    RunContext* ctx_;
    FileChooser* chooser_;
    WindowOps* window_;
    MusicPlayer player_;
    std::optional<PlayPipeline> pipeline_;  // destroyed before the player
    std::unique_ptr<MidiFileLoader> loader_;
    bool playing_ = false;
    int raiseOctave_ = 1;
    MirrorOptions options_;
    // Counts Play and Stop, so posted notifications of an earlier playback are known.
    std::uint64_t session_ = 0;
};

}  // namespace rovanta
