#pragma once
// The open and save dialogs, behind an interface: the GUI shows a file dialog,
// the command-line tool answers with the paths it was given, tests script it.

#include <optional>
#include <string>

namespace rovanta {

// The Save dialog's filter.
inline constexpr const char* kSmfFilter = "SMF files|*.mid|";
// The Load dialog's: MIDI files by their usual extensions (a dialog matches
// them in any letter case), or any file at all.
inline constexpr const char* kOpenFilter = "MIDI files|*.mid;*.midi;*.kar;*.rmi|All files|*|";
inline constexpr const char* kOpenDefaultExtension = "mid";
inline constexpr const char* kSaveDefaultExtension = "*.mid";

struct FileDialogRequest {
    bool save = false;  // save mode asks before replacing an existing file
    std::string defaultExtension;
    std::string filter;  // "description|pattern|" pairs
    std::string initialName;
};

struct FileDialogAnswer {
    std::string path;
    int filterIndex = 1;  // counted from 1
};

class FileChooser {
public:
    virtual ~FileChooser() = default;
    // No answer when the user cancelled.
    virtual std::optional<FileDialogAnswer> Choose(const FileDialogRequest& request) = 0;
};

// 1 when a file was chosen (its path copied into `path`), 0 when cancelled
// (`path` unchanged). An initial name that cannot be opened is dropped.
int AskOpenFileName(FileChooser& chooser, const std::string& defaultExtension,
                    const std::string& filter, std::string& path,
                    const std::string* initialName, int* filterIndex);

int AskSaveFileName(FileChooser& chooser, std::string& path,
                    const std::string& defaultExtension, const std::string& filter,
                    int* filterIndex, const std::string* initialName);

}  // namespace rovanta
