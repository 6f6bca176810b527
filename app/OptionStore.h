#pragma once
// The musical mirror options kept between runs in the user's settings, under
// readable names: controls=curves, axis=E4, diatonic=true, key=Am, trim=true.
// A value that no longer reads (edited by hand) counts as off.

#include <QSettings>

#include "pipelines/MirrorPipeline.h"

namespace rovanta {

// The user's settings file of the application.
QSettings UserSettings();

MirrorOptions LoadOptions(QSettings& settings);
void StoreOptions(QSettings& settings, const MirrorOptions& options);

}  // namespace rovanta
