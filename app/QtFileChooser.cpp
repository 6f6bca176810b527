#include "app/QtFileChooser.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

namespace rovanta {

namespace {

struct FilterEntry {
    QString description;
    QStringList patterns;
};

std::vector<FilterEntry> Entries(const std::string& filter)
{
    std::vector<FilterEntry> entries;
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;
        entries.push_back({parts[i], parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)});
    }
    return entries;
}

// Every letter as a class of both its cases: "*.mid" -> "*.[mM][iI][dD]".
QString AnyCase(const QString& pattern)
{
    QString out;
    for (const QChar c : pattern) {
        const QChar lower = c.toLower(), upper = c.toUpper();
        if (lower == upper)
            out += c;
        else
            out += QLatin1Char('[') + lower + upper + QLatin1Char(']');
    }
    return out;
}

}  // namespace

QStringList ToNameFilters(const std::string& filter, bool anyCase)
{
    QStringList filters;
    for (const FilterEntry& entry : Entries(filter)) {
        QStringList patterns;
        for (const QString& pattern : entry.patterns) patterns << (anyCase ? AnyCase(pattern) : pattern);
        filters << QStringLiteral("%1 (%2)").arg(entry.description, patterns.join(QLatin1Char(' ')));
    }
    return filters;
}

bool MatchesFilter(const std::string& filter, int index, const QString& name)
{
    const std::vector<FilterEntry> entries = Entries(filter);
    if (index < 1 || static_cast<std::size_t>(index) > entries.size()) return false;
    for (const QString& pattern : entries[static_cast<std::size_t>(index - 1)].patterns) {
        const QRegularExpression match(QRegularExpression::wildcardToRegularExpression(pattern),
                                       QRegularExpression::CaseInsensitiveOption);
        if (match.match(name).hasMatch()) return true;
    }
    return false;
}

std::optional<FileDialogAnswer> QtFileChooser::Choose(const FileDialogRequest& request)
{
    QFileDialog dialog(owner_);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // An open dialog lists a file whatever the case of its extension. A save
    // dialog keeps the patterns as spelled: it gives a typed name the chosen
    // type's extension taken from them.
    const QStringList filters = ToNameFilters(request.filter, !request.save);
    if (!filters.isEmpty()) {
        // The list shows the descriptions; the patterns spelled in both cases
        // would only clutter it.
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setNameFilters(filters);
    }
    QString extension = QString::fromStdString(request.defaultExtension);
    while (extension.startsWith(QLatin1Char('*')) || extension.startsWith(QLatin1Char('.'))) extension.remove(0, 1);
    if (!extension.isEmpty()) dialog.setDefaultSuffix(extension);
    // The save dialog asks before replacing a file (QFileDialog's default).
    if (!request.initialName.empty()) dialog.selectFile(QString::fromStdString(request.initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;

    FileDialogAnswer answer;
    answer.path = dialog.selectedFiles().front().toStdString();
    const qsizetype index = filters.indexOf(dialog.selectedNameFilter());
    answer.filterIndex = index < 0 ? 1 : static_cast<int>(index) + 1;
    return answer;
}

}  // namespace rovanta
