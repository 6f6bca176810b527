#pragma once
// Reports and messages of the desktop application: shown in a message box on
// the window thread, whichever thread raised them. A report from the player or
// timer thread is queued to the window thread and blocks its own thread until
// the box is closed. The window thread never waits for such a box (a stop
// only polls flags), so the two cannot wait for each other. Once the window
// is gone, Close() releases every thread still waiting and later reports go
// to standard error.

#include <QObject>
#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

#include "support/Report.h"

class QWidget;

namespace rovanta {

// Shows one text and returns when the user has closed it. Window thread.
using MessagePresenter = std::function<void(const QString& text)>;

// One OK button, exclamation icon, titled with the application name, modal.
void ShowMessageBox(QWidget* owner, const QString& text);

class WindowReportSink : public QObject, public ReportSink {
public:
    // Constructed on the window thread; `present` runs only there.
    explicit WindowReportSink(MessagePresenter present);
    ~WindowReportSink() override;

    void Show(std::string_view text) override;
    // Window thread: shows a message the same way (the quit guard's message).
    void ShowMessage(const QString& text);
    void Close();
    // Threads waiting now for their box to be closed.
    int Waiting();

private:
    struct Pending;

    MessagePresenter present_;
    std::mutex mutex_;
    bool closed_ = false;
    int waiting_ = 0;
    std::condition_variable released_;
};

}  // namespace rovanta
