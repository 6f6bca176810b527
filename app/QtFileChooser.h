#pragma once
// The open and save dialogs of the desktop application.

#include "support/FileChooser.h"

class QWidget;
class QString;

namespace rovanta {

// "SMF files|*.mid|" becomes the name filters "SMF files (*.mid)".
QString ToNameFilters(const std::string& filter);

class QtFileChooser : public FileChooser {
public:
    explicit QtFileChooser(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }
    std::optional<FileDialogAnswer> Choose(const FileDialogRequest& request) override;

private:
    QWidget* owner_;
};

}  // namespace rovanta
