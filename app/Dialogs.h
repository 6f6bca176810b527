#pragma once
// The About and Settings dialogs, and the dialog font and units the windows
// are laid out in.

#include <QDialog>
#include <QFont>
#include <QRect>

#include <cstdint>
#include <optional>

#include "pipelines/MirrorPipeline.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace rovanta {

inline constexpr const char* kAppName = "Rovanta";

// The dialogs' font: a proportional Japanese gothic at 9 points, so that the
// Japanese titles and messages render.
QFont DialogFont();

// Dialog units of a font, the measure the windows are laid out in: a quarter
// of the average character width across, an eighth of the character height down.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    QRect ToPixels(int x, int y, int w, int h) const;
    int X(int units) const { return units * baseX_ / 4; }
    int Y(int units) const { return units * baseY_ / 8; }

private:
    int baseX_, baseY_;
};

class AboutDialog : public QDialog {
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

// The options of the program: the octave option and the musical mirror
// options. The caller sets `option` and `options`, runs the dialog and reads
// them back whatever the result: only OK changes them, and OK is refused while
// the axis names no note.
class SettingsDialog : public QDialog {
public:
    static constexpr int kCheckBoxId = 1016;
    static constexpr const char* kCheckBoxText = "Raise octave with Vertical Reverse.";
    static constexpr const char* kCurvesText = "Mirror pedals and controllers as curves";
    static constexpr const char* kAxisText = "Axis:";
    static constexpr const char* kEachChannelsC = "Each channel's C";
    static constexpr const char* kAxisHint = "a note: E4, Bb3, 64.5";
    static constexpr const char* kDiatonicText = "Invert within the key";
    static constexpr const char* kKeyText = "Key:";
    static constexpr const char* kKeyFromSong = "From the song";
    static constexpr const char* kTrimText = "Start at the first note";

    explicit SettingsDialog(QWidget* parent = nullptr);

    int option = 1;
    MirrorOptions options;

    QCheckBox* CheckBox() const { return checkBox_; }
    QCheckBox* CurvesBox() const { return curves_; }
    QComboBox* AxisBox() const { return axis_; }
    QLabel* AxisHint() const { return axisHint_; }
    QCheckBox* DiatonicBox() const { return diatonic_; }
    QComboBox* KeyBox() const { return key_; }
    QCheckBox* TrimBox() const { return trim_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    // The axis an axis text names: an empty optional inside for each channel's
    // C (the entry, or no text); nothing when the text names no note.
    static std::optional<std::optional<std::int32_t>> AxisOfText(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnOk();
    void CheckAxis();
    // Widens what its text does not fit, then sizes the dialog around it.
    void Arrange();

    QCheckBox* checkBox_;
    QCheckBox* curves_;
    QLabel* axisLabel_;
    QComboBox* axis_;
    QLabel* axisHint_;
    QCheckBox* diatonic_;
    QLabel* keyLabel_;
    QComboBox* key_;
    QCheckBox* trim_;
    QPushButton* ok_;
    QPushButton* cancel_;
    bool initialized_ = false;
};

}  // namespace rovanta
