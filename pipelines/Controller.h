#pragma once
// The logic of the main window: owns the loaded song (through its loader), the
// mirror copy of the last Play, the playing flag, the raise-octave option and
// the musical mirror options (kept by the window between runs);
// maps the push buttons' command codes to Quit, Help, Load, Play/Stop, Save and
// Settings, and shows the player's tick and end notifications. A song stays
// loaded until another one has loaded: a cancelled or failed Load keeps it.
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
#include <string>

#include "pipelines/PlayPipeline.h"
#include "pipelines/RollLayout.h"
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
inline constexpr const char* kAppTitle = "Rovanta";
// The title with a song loaded: its file name, then this, then kAppTitle.
inline constexpr const char* kTitleSeparator = " — ";
inline constexpr const char* kNothingLoaded = "No MIDI file is loaded. Load one first.";
inline constexpr const char* kSavedTo = "Saved to ";
inline constexpr const char* kExportedTo = "Exported to ";
inline constexpr const char* kNoSynthesizer =
    "The built-in synthesizer cannot render: no General MIDI SoundFont was found.";
inline constexpr const char* kExportFailed = "The sound file could not be written: ";
// The export dialog's types, in the order of their extensions below.
inline constexpr const char* kAudioFilter = "WAV audio|*.wav|FLAC audio|*.flac|Ogg Vorbis audio|*.ogg|";
inline constexpr const char* kAudioExtensions[] = {".wav", ".flac", ".ogg"};
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
    // Loads the file as Load does once a file is chosen (a file named at
    // start, a dropped file). True when it loaded; otherwise the song loaded
    // before stays, and the reports say why.
    bool LoadFile(const std::string& path);
    // Asks for a sound file and renders what Play would play into it.
    void ExportAudio();

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
    // The toggles and options as they stand: what Play and Save would use now.
    MirrorSettings CurrentSettings();
    // The synthesizer Export audio renders with (the system's SoundFont unless set).
    void SetExportSynth(const SynthConfig& synth) { exportSynth_ = synth; }

private:
    bool NeedSong();

    RunContext* ctx_;
    FileChooser* chooser_;
    WindowOps* window_;
    MusicPlayer player_;
    std::optional<PlayPipeline> pipeline_;  // destroyed before the player
    std::unique_ptr<MidiFileLoader> loader_;
    bool playing_ = false;
    int raiseOctave_ = 1;
    MirrorOptions options_;
    SynthConfig exportSynth_;
    // Seconds of the playing mirror copy, and its division: the ticks the
    // player reports count kPlayDivision a quarter.
    std::optional<TempoMap> playClock_;
    std::int32_t playSongDivision_ = 0;
    // Counts Play and Stop, so posted notifications of an earlier playback are known.
    std::uint64_t session_ = 0;
};

}  // namespace rovanta
