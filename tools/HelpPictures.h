#pragma once
// The help page's pictures: tiny songs run through the mirror pipeline that
// Play and Save use, drawn as piano rolls side by side (or one above another),
// with a pedal lane, note names or the axis where a picture needs them.

#include <QDir>

namespace rovanta::drawing {

// Writes help/melody.png and help/option-*.png under `root`. False, with a
// message on standard error, when a file could not be written or when the
// pipeline did not give the notes a picture (and the help beside it) claims.
bool WriteHelpPictures(const QDir& root);

}  // namespace rovanta::drawing
