#pragma once
// What the main window's logic needs of the window layer: the skinned button
// groups, the tick display, message boxes and dialogs, repaints and a way to
// run work on the window thread. The GUI implements it over its widgets; tests
// record the calls. Every call but PostToWindowThread comes on the window thread.

#include <functional>
#include <optional>
#include <string>

#include "pipelines/MirrorPipeline.h"
#include "playback/AudioRender.h"

namespace rovanta {

// What the Settings dialog edits: the octave option and the musical options.
struct SettingsChoice {
    int raiseOctave = 1;
    MirrorOptions options{};

    bool operator==(const SettingsChoice&) const = default;
};

class WindowOps {
public:
    enum class Group { kPictures, kPushButtons, kToggles };

    virtual ~WindowOps() = default;

    // Window initialization: the About entry of the window menu (skipped when
    // the window has no such menu or the text is empty), the window's icons,
    // and the skin in its own build order.
    virtual void AppendAboutMenuEntry(int commandId, const std::string& text) = 0;
    virtual void SetWindowIcon(int iconId) = 0;
    virtual void BuildSkin() = 0;
    // Destroys the picture, push-button and toggle groups, in that order.
    virtual void DestroySkin() = 0;

    // Push-button group: a new caption drawn into the button's back buffer only.
    virtual void SetCaption(int code, const std::string& text) = 0;
    // Copies every element's back buffer of the group to the screen.
    virtual void PresentAll(Group group) = 0;
    // Toggle group: 1 when the toggle is on.
    virtual int IsChecked(int index) = 0;
    virtual void SetTickText(const std::string& text) = 0;
    // The window's title from now on.
    virtual void SetTitle(const std::string& title) = 0;
    // A short notice the user sees without having to close it (in the title
    // for a few seconds, then the title returns).
    virtual void ShowNotice(const std::string& text) = 0;

    // What Play and Save would make has changed: another song was loaded, or
    // an option changed. (The toggles are the window's own.)
    virtual void MirrorChanged() = 0;
    // Where the playback is, in seconds on the mirror's time line (as the
    // piano roll lays it out); nothing once it has stopped.
    virtual void ShowPlayPosition(std::optional<double> seconds) = 0;
    // Runs `work` on a worker thread while a progress window shows how far it
    // is and offers to cancel it; returns its result once it has finished.
    using ExportWork = std::function<RenderResult(const RenderControl& control)>;
    virtual RenderResult RunExport(const std::string& path, ExportWork work) = 0;

    // One OK button, system-modal, exclamation icon, titled "Rovanta".
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void RunAboutDialog() = 0;
    // Runs the Settings dialog with the current choice; returns the choice as
    // the dialog leaves it (unchanged unless closed with OK).
    virtual SettingsChoice RunSettingsDialog(const SettingsChoice& current) = 0;
    // The musical options kept from the last run (all off when none were
    // kept), and keeping them for the next.
    virtual MirrorOptions RememberedOptions() = 0;
    virtual void RememberOptions(const MirrorOptions& options) = 0;
    virtual void OpenHelp(const std::string& file, const std::string& topic) = 0;
    // Ends the main window's modal run with the accept result.
    virtual void EndWithAccept() = 0;

    // Queues a paint request for the main window.
    virtual void PostPaint() = 0;
    virtual bool IsMinimized() = 0;
    // Erases the icon background and draws the icon centred in the client area.
    virtual void PaintMinimizedIcon(int iconId) = 0;
    // The platform's default painting, which validates the window.
    virtual void DefaultPaint() = 0;
    // Invalidates a control, with erasing, so that it repaints itself.
    virtual void InvalidateControl(int controlId) = 0;

    // Any thread: runs `task` later on the window thread, in posting order;
    // tasks still queued when the window goes are dropped, never run.
    virtual void PostToWindowThread(std::function<void()> task) = 0;
};

}  // namespace rovanta
