// The window tests run in a QApplication on the offscreen platform unless the
// caller chose another (the screenshots use a real X server).

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/Dialogs.h"

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(rovanta::kAppName));
    QApplication::setFont(rovanta::DialogFont());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
