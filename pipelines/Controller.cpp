#include "pipelines/Controller.h"

#include <string>
#include <utility>

namespace rovanta {

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
    // The previous song goes before the dialog opens; playback of the mirror
    // copy is not touched.
    loader_.reset();
    loader_ = std::make_unique<MidiFileLoader>(*ctx_);
    loader_->AskAndLoad(*chooser_);
    if (loader_->FileLength() != 0) loader_->BuildSong();
    // A damaged file may fail only once its song is built.
    if (!loader_->Song()) loader_.reset();
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
    const MidiF0Data* loaded = LoadedSong();
    if (!loaded) return;
    if (!pipeline_) pipeline_.emplace(player_);
    if (playing_) {
        ++session_;
        pipeline_->Stop();
        window_->SetCaption(ctl::kPlayStop, ctl::kPlayCaption);
        playing_ = false;
        return;
    }
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
    pipeline_->Play(*loaded, CurrentSettings(), std::move(end), std::move(tick));
}

void Controller::SaveSong()
{
    const MidiF0Data* loaded = LoadedSong();
    if (!loaded) return;
    SaveMirrored(*loaded, CurrentSettings(), *chooser_);
}

void Controller::OpenSettings()
{
    const SettingsChoice choice = window_->RunSettingsDialog({raiseOctave_, options_});
    raiseOctave_ = choice.raiseOctave;
    // Only a change is kept for the next run: a cancelled dialog writes nothing.
    if (choice.options == options_) return;
    options_ = choice.options;
    window_->RememberOptions(options_);
}

void Controller::OnPlaybackTick(std::int32_t, std::int32_t tick, const MusicEvent*)
{
    window_->SetTickText(std::to_string(tick));
}

int Controller::OnPlaybackEnd()
{
    window_->SetCaption(ctl::kPlayStop, ctl::kPlayCaption);
    playing_ = false;
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
