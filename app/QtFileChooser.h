#pragma once
// The open and save dialogs of the desktop application.

#include <QString>
#include <QStringList>

#include "support/FileChooser.h"

class QWidget;

namespace rovanta {

// A filter's "description|patterns|" pairs as the dialog's name filters. With
// `anyCase` each pattern is written to match in any letter case, as the
// desktop's own dialogs match only what a pattern spells: "SMF files|*.mid|"
// becomes "SMF files (*.[mM][iI][dD])".
QStringList ToNameFilters(const std::string& filter, bool anyCase);
// True when `name` matches a pattern of the filter's entry `index` (from 1),
// in any letter case.
bool MatchesFilter(const std::string& filter, int index, const QString& name);

class QtFileChooser : public FileChooser {
public:
    explicit QtFileChooser(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }
    std::optional<FileDialogAnswer> Choose(const FileDialogRequest& request) override;

private:
    QWidget* owner_;
};

}  // namespace rovanta
