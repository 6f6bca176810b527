#include "app/QtFileChooser.h"

#include <QFileDialog>
#include <QStringList>

namespace rovanta {

namespace {

QStringList Filters(const std::string& filter)
{
    QStringList filters;
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return filters;
}

}  // namespace

QString ToNameFilters(const std::string& filter) { return Filters(filter).join(QStringLiteral(";;")); }

std::optional<FileDialogAnswer> QtFileChooser::Choose(const FileDialogRequest& request)
{
    QFileDialog dialog(owner_);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = Filters(request.filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
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
