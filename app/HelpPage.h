#pragma once
// Where the bundled help lives. The help set the window asks for by name
// ("Rovanta.chm") is the folder of HTML pages installed beside the program:
// help/ next to the executable in the build tree, share/rovanta/help after
// installation.

#include <QString>
#include <QStringList>

namespace rovanta {

// The folders searched for the help set, in order, for a program in `appDir`.
QStringList HelpFolders(const QString& appDir);
// The topic's file, or empty when no folder holds it. A topic is a plain
// file name: anything with a path in it is refused.
QString FindHelpTopic(const QString& appDir, const QString& topic);

}  // namespace rovanta
