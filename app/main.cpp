// The desktop application: one modal run of the main window, with the file
// named on the command line (if any) loaded once it runs.

#include <QApplication>

#include <cstdio>

#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/QtFileChooser.h"
#include "app/StartArguments.h"
#include "app/WindowReportSink.h"
#include "playback/Ports.h"
#include "playback/TimerThread.h"
#include "support/RunContext.h"

int main(int argc, char** argv)
{
    using namespace rovanta;

    // Help needs no display: looked for before Qt starts (and takes out its
    // own options, such as -platform).
    QStringList raw;
    for (int i = 1; i < argc; ++i) raw << QString::fromLocal8Bit(argv[i]);
    if (ParseStartArguments(raw).help) {
        std::fputs(kStartUsage, stdout);
        return 0;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(kAppName));
    QApplication::setApplicationDisplayName(QString::fromUtf8(kAppName));
    QApplication::setDesktopFileName(QStringLiteral("rovanta"));
    QApplication::setFont(DialogFont());

    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    const StartArguments start = ParseStartArguments(arguments);
    if (!start.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(start.error));
        std::fputs(kStartUsage, stderr);
        return 2;
    }

    WindowReportSink reports([](const QString& text) { ShowMessageBox(QApplication::activeWindow(), text); });
    RunContext ctx(reports);
    RealTimerService timers;
    // The built-in synthesizer is the output every playback opens.
    const std::unique_ptr<MidiOutSystem> ports = MakeSynthSystem();
    QtFileChooser chooser;

    MainWindowServices services;
    services.ctx = &ctx;
    services.chooser = &chooser;
    services.ports = ports.get();
    services.timers = &timers;
    services.startFile = start.file;
    MainWindow window(services);
    chooser.SetOwner(&window);

    window.exec();
    window.Destroy();
    // Threads still waiting for a report box are let go before the window
    // joins them.
    reports.Close();
    return 0;
}
