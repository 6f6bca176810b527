#include "app/HelpPage.h"

#include <QDir>
#include <QFileInfo>

namespace rovanta {

QStringList HelpFolders(const QString& appDir)
{
    const QDir dir(appDir);
    return {dir.filePath(QStringLiteral("help")), dir.filePath(QStringLiteral("../share/rovanta/help"))};
}

QString FindHelpTopic(const QString& appDir, const QString& topic)
{
    if (topic.isEmpty() || topic.contains(QLatin1Char('/')) || topic.contains(QLatin1Char('\\')) ||
        topic == QLatin1String("..") || topic == QLatin1String("."))
        return {};
    for (const QString& folder : HelpFolders(appDir)) {
        const QFileInfo page(QDir(folder).filePath(topic));
        if (page.isFile()) return page.canonicalFilePath();
    }
    return {};
}

}  // namespace rovanta
