#include "app/WindowReportSink.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include <cstdio>
#include <string>
#include <utility>

#include "app/Dialogs.h"

namespace rovanta {

void ShowMessageBox(QWidget* owner, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kAppName), text, QMessageBox::Ok, owner);
    box.setFont(DialogFont());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

// One report on its way to the window thread.
struct WindowReportSink::Pending {
    QString text;
    bool shown = false;
};

WindowReportSink::WindowReportSink(MessagePresenter present) : present_(std::move(present)) {}

WindowReportSink::~WindowReportSink() { Close(); }

void WindowReportSink::ShowMessage(const QString& text)
{
    if (present_) present_(text);
}

void WindowReportSink::Show(std::string_view text)
{
    const QString message = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (QThread::currentThread() == thread()) {
        bool closed;
        {
            std::lock_guard lock(mutex_);
            closed = closed_;
        }
        if (!closed) {
            ShowMessage(message);
            return;
        }
    } else {
        auto pending = std::make_shared<Pending>();
        pending->text = message;
        std::unique_lock lock(mutex_);
        if (!closed_) {
            QMetaObject::invokeMethod(
                this,
                [this, pending] {
                    {
                        std::lock_guard inner(mutex_);
                        if (closed_) return;
                    }
                    ShowMessage(pending->text);
                    std::lock_guard inner(mutex_);
                    pending->shown = true;
                    released_.notify_all();
                },
                Qt::QueuedConnection);
            ++waiting_;
            released_.wait(lock, [&] { return pending->shown || closed_; });
            --waiting_;
            if (pending->shown) return;
        }
    }
    // No window to show it in any more: the text is not lost.
    const std::string line = std::string(text) + "\n";
    std::fputs(line.c_str(), stderr);
}

int WindowReportSink::Waiting()
{
    std::lock_guard lock(mutex_);
    return waiting_;
}

void WindowReportSink::Close()
{
    std::lock_guard lock(mutex_);
    closed_ = true;
    released_.notify_all();
}

}  // namespace rovanta
