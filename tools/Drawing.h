#pragma once
// What every picture rovanta-draw-skin writes has in common: fixed fonts, a
// fixed physical resolution, and PNG files written with a message on failure,
// so that a run on the same machine always gives the same bytes.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

#include <cstdio>

namespace rovanta::drawing {

inline const char* const kFontFamily = "DejaVu Sans";

// The same physical resolution in every file, so nothing depends on the screen.
inline constexpr int kDotsPerMeter = 3780;  // 96 dots per inch

inline QFont Font(int pixelSize, bool bold)
{
    QFont font(QString::fromLatin1(kFontFamily));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

inline QImage Canvas(int width, int height, const QColor& fill)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    return image;
}

inline bool Write(const QImage& image, const QString& path)
{
    if (image.save(path, "PNG")) return true;
    std::fprintf(stderr, "rovanta-draw-skin: cannot write %s\n", qPrintable(path));
    return false;
}

// The window bitmaps and the help pictures are 24-bit pictures without transparency.
inline bool WriteOpaque(const QImage& image, const QString& path)
{
    QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    rgb.setDotsPerMeterX(kDotsPerMeter);
    rgb.setDotsPerMeterY(kDotsPerMeter);
    return Write(rgb, path);
}

}  // namespace rovanta::drawing
