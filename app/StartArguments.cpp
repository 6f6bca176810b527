#include "app/StartArguments.h"

namespace rovanta {

StartArguments ParseStartArguments(const QStringList& arguments)
{
    StartArguments parsed;
    bool options = true;
    auto fail = [&parsed](const QString& error) {
        if (parsed.error.isEmpty()) parsed.error = error;
    };
    for (const QString& argument : arguments) {
        if (options && argument == QLatin1String("--")) {
            options = false;
        } else if (options && (argument == QLatin1String("-h") || argument == QLatin1String("--help"))) {
            parsed.help = true;
        } else if (options && argument.startsWith(QLatin1Char('-'))) {
            fail(QStringLiteral("rovanta: unknown option '%1'").arg(argument));
        } else if (!parsed.file.isEmpty()) {
            fail(QStringLiteral("rovanta: one file at a time ('%1' and '%2')").arg(parsed.file, argument));
        } else {
            parsed.file = argument;
        }
    }
    return parsed;
}

}  // namespace rovanta
