// The window tests run in a QApplication on the offscreen platform unless the
// caller chose another (the screenshots use a real X server), with their
// settings in a scratch folder of their own.

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/Dialogs.h"
#include "gui/GuiRig.h"

namespace rovanta::test {

namespace {
QTemporaryDir* scratchSettings = nullptr;
}  // namespace

QString ScratchSettingsDir() { return scratchSettings->path(); }

}  // namespace rovanta::test

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // One folder for each process: ctest runs the tests side by side.
    QTemporaryDir settings;
    if (!settings.isValid()) return 1;
    rovanta::test::scratchSettings = &settings;
    rovanta::test::KeepSettingsIn(settings.path());
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(rovanta::kAppName));
    QApplication::setFont(rovanta::DialogFont());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
