#include "support/FileChooser.h"

#include "support/FileAccess.h"

namespace rovanta {

namespace {

int Ask(FileChooser& chooser, const FileDialogRequest& request, std::string& path,
        int* filterIndex)
{
    std::optional<FileDialogAnswer> answer = chooser.Choose(request);
    if (!answer) return 0;
    path = answer->path;
    if (filterIndex) *filterIndex = answer->filterIndex;
    return 1;
}

}  // namespace

int AskOpenFileName(FileChooser& chooser, const std::string& defaultExtension,
                    const std::string& filter, std::string& path,
                    const std::string* initialName, int* filterIndex)
{
    FileDialogRequest request;
    request.defaultExtension = defaultExtension;
    request.filter = filter;
    // A stale name would only make the dialog start somewhere useless.
    if (initialName && !initialName->empty() && FileCanOpen(*initialName))
        request.initialName = *initialName;
    return Ask(chooser, request, path, filterIndex);
}

int AskSaveFileName(FileChooser& chooser, std::string& path,
                    const std::string& defaultExtension, const std::string& filter,
                    int* filterIndex, const std::string* initialName)
{
    FileDialogRequest request;
    request.save = true;
    request.defaultExtension = defaultExtension;
    request.filter = filter;
    // The file to save need not exist yet, so the name is not checked.
    if (initialName) request.initialName = *initialName;
    return Ask(chooser, request, path, filterIndex);
}

}  // namespace rovanta
