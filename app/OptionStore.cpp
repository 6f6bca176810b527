#include "app/OptionStore.h"

#include <QString>

#include <string>

#include "app/Dialogs.h"

namespace rovanta {

namespace {

const QString kControls = QStringLiteral("mirror/controls");
const QString kAxis = QStringLiteral("mirror/axis");
const QString kDiatonic = QStringLiteral("mirror/diatonic");
const QString kKey = QStringLiteral("mirror/key");
const QString kTrim = QStringLiteral("mirror/trim");

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

QSettings UserSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromUtf8(kAppName),
                     QString::fromUtf8(kAppName));
}

MirrorOptions LoadOptions(QSettings& settings)
{
    MirrorOptions options;
    if (settings.value(kControls).toString() == QLatin1String("curves")) options.controls = ControlMirroring::kCurves;
    options.twiceAxis = ParseAxis(settings.value(kAxis).toString().toStdString());
    options.diatonic = settings.value(kDiatonic, false).toBool();
    options.key = ParseKey(settings.value(kKey).toString().toStdString());
    options.trim = settings.value(kTrim, false).toBool();
    return options;
}

void StoreOptions(QSettings& settings, const MirrorOptions& options)
{
    settings.setValue(kControls, options.controls == ControlMirroring::kCurves ? QStringLiteral("curves")
                                                                                : QStringLiteral("instants"));
    settings.setValue(kAxis, options.twiceAxis ? Text(AxisName(*options.twiceAxis)) : QString());
    settings.setValue(kDiatonic, options.diatonic);
    settings.setValue(kKey, options.key ? Text(KeyName(*options.key)) : QString());
    settings.setValue(kTrim, options.trim);
    settings.sync();
}

}  // namespace rovanta
