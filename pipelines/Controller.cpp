#include "pipelines/Controller.h"

#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <utility>

#include "support/FileChooser.h"

namespace rovanta {

namespace {

// Passes the dialogs on and remembers the last path chosen.
class RememberingChooser : public FileChooser {
public:
    explicit RememberingChooser(FileChooser& inner) : inner_(&inner) {}
    std::optional<FileDialogAnswer> Choose(const FileDialogRequest& request) override
    {
        std::optional<FileDialogAnswer> answer = inner_->Choose(request);
        if (answer) path = answer->path;
        return answer;
    }
    std::string path;

private:
    FileChooser* inner_;
};

}  // namespace

Controller::Controller(RunContext& ctx, FileChooser& chooser, WindowOps& window, const PlaybackEnv& env)
    : ctx_(&ctx), chooser_(&chooser), window_(&window), player_(env)
{
    pipeline_.emplace(player_);
}

Controller::~Controller() = default;

void Controller::DispatchCommand(std::int32_t code)
{
    switch (code) {
    case ctl::kQuit: RequestQuit(); break;
    case ctl::kHelp: ShowHelp(); break;
    case ctl::kLoad: LoadSong(); break;
    case ctl::kPlayStop: TogglePlay(); break;
    case ctl::kSave: SaveSong(); break;
    case ctl::kSettings: OpenSettings(); break;
    default: break;
    }
    window_->PostPaint();
}

void Controller::RequestQuit()
{
    if (playing_)
        window_->ShowMessage(ctl::kQuitRefused);
    else
        window_->EndWithAccept();
}

void Controller::ShowHelp()
{
    window_->OpenHelp(ctl::kHelpFile, ctl::kHelpTopic);
}

void Controller::LoadSong()
{
    // A cancelled dialog leaves the song loaded before; playback of the
    // mirror copy is never touched by a Load.
    std::string path;
    if (!AskOpenFileName(*chooser_, kOpenDefaultExtension, kOpenFilter, path, nullptr, nullptr)) return;
    LoadFile(path);
}

bool Controller::LoadFile(const std::string& path)
{
    auto loader = std::make_unique<MidiFileLoader>(*ctx_);
    loader->Load(path);
    if (loader->FileLength() != 0) loader->BuildSong();
    // A damaged file may fail only once its song is built; its reports have
    // been shown, and the song loaded before stays.
    if (!loader->Song()) return false;
    loader_ = std::move(loader);
    window_->SetTitle(std::filesystem::path(path).filename().string() + ctl::kTitleSeparator + ctl::kAppTitle);
    window_->MirrorChanged();
    return true;
}

bool Controller::NeedSong()
{
    if (LoadedSong()) return true;
    window_->ShowMessage(ctl::kNothingLoaded);
    return false;
}

MirrorSettings Controller::CurrentSettings()
{
    // The toggles are read at the moment of each Play or Save.
    MirrorSettings settings;
    settings.horizontal = window_->IsChecked(0) == 1;
    settings.vertical = window_->IsChecked(1) == 1;
    settings.raiseOctave = raiseOctave_;
    settings.options = options_;
    return settings;
}

void Controller::TogglePlay()
{
    if (!pipeline_) pipeline_.emplace(player_);
    if (playing_) {
        ++session_;
        pipeline_->Stop();
        window_->SetCaption(ctl::kPlayStop, ctl::kPlayCaption);
        playing_ = false;
        window_->ShowPlayPosition(std::nullopt);
        return;
    }
    if (!NeedSong()) return;
    const MidiF0Data* loaded = LoadedSong();
    playing_ = true;
    window_->SetCaption(ctl::kPlayStop, ctl::kStopCaption);
    const std::uint64_t session = ++session_;
    // Timer and player threads: only post; the window thread does the rest.
    auto end = [this, session] {
        window_->PostToWindowThread([this, session] {
            if (session == session_) OnPlaybackEnd();
        });
    };
    auto tick = [this, session](std::int32_t index, std::int32_t tickNow, const MusicEvent*) {
        window_->PostToWindowThread([this, session, index, tickNow] {
            if (session == session_) OnPlaybackTick(index, tickNow, nullptr);
        });
    };
    // The clock is set before the start announces its first tick.
    playClock_.reset();
    pipeline_->Play(*loaded, CurrentSettings(), std::move(end), std::move(tick));
    if (const MidiF0Data* copy = MirrorCopy(); copy && copy->HasTrack()) {
        playClock_.emplace(copy->Track(), copy->division);
        playSongDivision_ = copy->division;
    }
}

void Controller::SaveSong()
{
    if (!NeedSong()) return;
    RememberingChooser chooser(*chooser_);
    if (SaveMirrored(*LoadedSong(), CurrentSettings(), chooser) == 1)
        window_->ShowNotice(ctl::kSavedTo + chooser.path);
}

void Controller::ExportAudio()
{
    if (!NeedSong()) return;
    std::string path;
    int type = 1;
    if (!AskSaveFileName(*chooser_, path, "", ctl::kAudioFilter, &type, nullptr)) return;
    // A name without a sound file's extension gets the chosen type's.
    const auto chosen = static_cast<std::size_t>(type - 1);
    if (AudioFileType(path).empty())
        path += ctl::kAudioExtensions[chosen < std::size(ctl::kAudioExtensions) ? chosen : 0];
    // The worker renders a copy of its own: nothing it reads can change under it.
    auto song = std::make_shared<const MidiF0Data>(MidiF0Data::Copy(*LoadedSong()));
    RenderResult result = window_->RunExport(
        path, [ctx = ctx_, song, settings = CurrentSettings(), synth = exportSynth_, path](const RenderControl& control) {
            return RenderMirrored(*ctx, *song, settings, synth, path, control);
        });
    switch (result.outcome) {
    case RenderOutcome::kWritten: window_->ShowNotice(ctl::kExportedTo + path); break;
    case RenderOutcome::kCancelled: break;
    case RenderOutcome::kNoSynthesizer: window_->ShowMessage(ctl::kNoSynthesizer); break;
    case RenderOutcome::kWriteFailed: window_->ShowMessage(ctl::kExportFailed + path); break;
    }
}

void Controller::OpenSettings()
{
    const SettingsChoice choice = window_->RunSettingsDialog({raiseOctave_, options_});
    const bool octaveChanged = choice.raiseOctave != raiseOctave_;
    raiseOctave_ = choice.raiseOctave;
    // Only a change is kept for the next run: a cancelled dialog writes nothing.
    if (choice.options == options_) {
        if (octaveChanged) window_->MirrorChanged();
        return;
    }
    options_ = choice.options;
    window_->RememberOptions(options_);
    window_->MirrorChanged();
}

void Controller::OnPlaybackTick(std::int32_t, std::int32_t tick, const MusicEvent*)
{
    window_->SetTickText(std::to_string(tick));
    if (!playClock_ || playSongDivision_ <= 0) return;
    // The player counts kPlayDivision ticks a quarter from the copy's start.
    const std::int64_t songTick =
        (std::int64_t{tick} * playSongDivision_ + kPlayDivision / 2) / kPlayDivision;
    window_->ShowPlayPosition(playClock_->Seconds(songTick));
}

int Controller::OnPlaybackEnd()
{
    window_->SetCaption(ctl::kPlayStop, ctl::kPlayCaption);
    playing_ = false;
    window_->ShowPlayPosition(std::nullopt);
    window_->PresentAll(WindowOps::Group::kPushButtons);
    return 0;
}

void Controller::OnInit()
{
    window_->AppendAboutMenuEntry(ctl::kAboutCommand, ctl::kAboutEntry);
    window_->SetWindowIcon(ctl::kIcon);
    // The octave option starts on at every run; the musical options are the
    // ones the last run kept.
    raiseOctave_ = 1;
    options_ = window_->RememberedOptions();
    window_->BuildSkin();
    pipeline_.reset();
    pipeline_.emplace(player_);
}

void Controller::OnPaint()
{
    if (window_->IsMinimized()) {
        window_->PaintMinimizedIcon(ctl::kIcon);
        return;
    }
    window_->DefaultPaint();
    window_->PresentAll(WindowOps::Group::kPictures);
    window_->PresentAll(WindowOps::Group::kPushButtons);
    window_->PresentAll(WindowOps::Group::kToggles);
    window_->InvalidateControl(ctl::kTickDisplay);
    window_->InvalidateControl(ctl::kTickLabel);
}

void Controller::OnDestroy()
{
    loader_.reset();
    // A close that did not go through the quit request may come while the
    // mirror copy still plays: the pipeline halts that playback before the copy goes.
    pipeline_.reset();
    ++session_;
    playing_ = false;
    window_->DestroySkin();
}

bool Controller::OnWindowMenu(std::uint32_t id)
{
    if ((id & 0xFFF0u) != static_cast<std::uint32_t>(ctl::kAboutCommand)) return false;
    window_->RunAboutDialog();
    return true;
}

}  // namespace rovanta
