// The window tests run in a QApplication on the offscreen platform unless the
// caller chose another (the screenshots use a real X server).

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/Dialogs.h"
#include "gui/GuiRig.h"

namespace rovanta::test {

std::string TestFile(const std::string& name)
{
    return (std::filesystem::path(ROVANTA_TEST_DATA) / name).string();
}

}  // namespace rovanta::test

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(rovanta::kAppName));
    QApplication::setFont(rovanta::DialogFont());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
