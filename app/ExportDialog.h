#pragma once
// Export audio's progress window: runs the export on a worker thread, shows
// how far it is, and offers to cancel it. The worker reports through Qt
// signals, which reach the window thread queued; the window stays up until
// the worker has finished, so a cancel has cleaned up (no partial file) by
// the time it closes.

#include <QDialog>
#include <QString>

#include <atomic>

#include "pipelines/WindowOps.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace rovanta {

class ExportProgress : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "Export audio";
    static constexpr const char* kCancelling = "Cancelling…";

    // `path`: the sound file being written, named in the window.
    explicit ExportProgress(const QString& path, QWidget* parent = nullptr);

    // Runs `work` on a worker thread, modal, until it has finished; returns its result.
    RenderResult Run(const WindowOps::ExportWork& work);

    QProgressBar* Bar() const { return bar_; }
    QPushButton* CancelButton() const { return cancel_; }
    QLabel* Label() const { return label_; }

signals:
    // Worker thread: the share done, in percent.
    void Progressed(int percent);
    void Finished();

protected:
    // Escape and the close button cancel too; the window closes once the worker is done.
    void reject() override;

private:
    void Cancel();

    QLabel* label_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    std::atomic<bool> cancelled_{false};
    bool finished_ = false;
};

}  // namespace rovanta
