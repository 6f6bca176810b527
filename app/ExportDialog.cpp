#include "app/ExportDialog.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <thread>

namespace rovanta {

ExportProgress::ExportProgress(const QString& path, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QString::fromUtf8(kTitle));
    setModal(true);
    label_ = new QLabel(QStringLiteral("Rendering what Play would play into %1").arg(QFileInfo(path).fileName()), this);
    label_->setToolTip(path);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setMinimumWidth(320);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    layout->addLayout(buttons);

    connect(cancel_, &QPushButton::clicked, this, [this] { Cancel(); });
    // Emitted on the worker thread; these run queued, on the window thread.
    connect(this, &ExportProgress::Progressed, bar_, &QProgressBar::setValue);
    connect(this, &ExportProgress::Finished, this, [this] {
        finished_ = true;
        done(QDialog::Accepted);
    });
}

RenderResult ExportProgress::Run(const WindowOps::ExportWork& work)
{
    RenderResult result;
    result.outcome = RenderOutcome::kCancelled;
    std::thread worker([this, &work, &result] {
        RenderControl control;
        control.cancel = &cancelled_;
        int shown = -1;
        control.progress = [this, &shown](double share) {
            const int percent = std::clamp(static_cast<int>(share * 100), 0, 100);
            if (percent == shown) return;
            shown = percent;
            emit Progressed(percent);
        };
        if (work) result = work(control);
        emit Finished();
    });
    // Finished can only be handled inside this run, so it is not missed.
    exec();
    // Left early (the application is quitting): the worker stops at once.
    if (!finished_) cancelled_ = true;
    worker.join();
    return result;
}

void ExportProgress::Cancel()
{
    if (finished_ || cancelled_) return;
    cancelled_ = true;
    label_->setText(QString::fromUtf8(kCancelling));
    cancel_->setEnabled(false);
}

void ExportProgress::reject()
{
    // The worker still writes: stop it and wait for Finished.
    Cancel();
}

}  // namespace rovanta
