#pragma once
// The About and Settings dialogs, and the dialog font and units the windows
// are laid out in.

#include <QDialog>
#include <QFont>
#include <QRect>

class QCheckBox;

namespace rovanta {

inline constexpr const char* kAppName = "Rovanta";

// The dialogs' font: a proportional Japanese gothic at 9 points, so that the
// Japanese titles and messages render.
QFont DialogFont();

// Dialog units of a font, as dialog templates measure: a quarter of the
// average character width across, an eighth of the character height down.
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

// The one option of the program. The caller sets `option`, runs the dialog
// and reads `option` back whatever the result: only OK changes it.
class SettingsDialog : public QDialog {
public:
    static constexpr int kCheckBoxId = 1016;
    static constexpr const char* kCheckBoxText = "Raise octave with Vertical Reverse.";

    explicit SettingsDialog(QWidget* parent = nullptr);

    int option = 1;

    QCheckBox* CheckBox() const { return checkBox_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnOk();

    QCheckBox* checkBox_;
    bool initialized_ = false;
};

}  // namespace rovanta
