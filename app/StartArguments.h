#pragma once
// The desktop application's command line: `rovanta [FILE]`, as a desktop
// entry's `Exec=rovanta %f` gives it. Qt's own options are taken out before.

#include <QString>
#include <QStringList>

namespace rovanta {

inline constexpr const char* kStartUsage =
    "usage: rovanta [FILE]\n"
    "Opens the Rovanta window; with FILE, loads that MIDI file as Load would.\n";

struct StartArguments {
    QString file;   // empty: start without a song
    bool help = false;  // asked for anywhere before "--", whatever else is wrong
    QString error;  // the first usage error, for standard error
};

// `arguments` without the program's name.
StartArguments ParseStartArguments(const QStringList& arguments);

}  // namespace rovanta
