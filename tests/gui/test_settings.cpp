// The Settings dialog's musical options: what it shows, what OK and Cancel
// leave, the axis it refuses, and the options kept from one run to the next.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Dialogs.h"
#include "app/OptionStore.h"
#include "gui/GuiRig.h"

namespace rovanta {
namespace {

using test::GuiRig;
using test::OnNextModal;

constexpr MusicalKey kAm{9, true}, kEb{3, false}, kFsm{6, true};

MirrorOptions Options(ControlMirroring controls, std::optional<std::int32_t> twiceAxis, bool diatonic,
                      std::optional<MusicalKey> key, bool trim)
{
    MirrorOptions o;
    o.controls = controls;
    o.twiceAxis = twiceAxis;
    o.diatonic = diatonic;
    o.key = key;
    o.trim = trim;
    return o;
}

constexpr auto kInstants = ControlMirroring::kInstants;
constexpr auto kCurves = ControlMirroring::kCurves;

// A dialog opened with `option` and `options`, shown (not modal) so a test
// can work its controls as a user would.
struct OpenDialog {
    OpenDialog(int option, const MirrorOptions& options)
    {
        dialog.option = option;
        dialog.options = options;
        dialog.show();
        static_cast<void>(QTest::qWaitForWindowExposed(&dialog));
    }
    void TypeAxis(const QString& text)
    {
        QLineEdit* edit = dialog.AxisBox()->lineEdit();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    SettingsDialog dialog;
};

TEST(SettingsOptions, TheDialogShowsEveryOptionItIsGiven)
{
    const struct Case {
        MirrorOptions options;
        QString axis, key;
    } cases[] = {
        {{}, "Each channel's C", "From the song"},
        {Options(kCurves, std::nullopt, false, std::nullopt, false), "Each channel's C", "From the song"},
        {Options(kInstants, 128, false, std::nullopt, false), "E4", "From the song"},
        {Options(kInstants, 129, true, std::nullopt, false), "64.5", "From the song"},
        {Options(kInstants, std::nullopt, true, kAm, false), "Each channel's C", "Am"},
        // A key kept while the inversion is off stays chosen, greyed out.
        {Options(kInstants, 116, false, kEb, true), "A#3", "Eb"},
        {Options(kCurves, 0, true, kFsm, true), "C-1", "F#m"},
    };
    for (const Case& c : cases) {
        OpenDialog open(0, c.options);
        const SettingsDialog& d = open.dialog;
        const std::string name = c.axis.toStdString() + " " + c.key.toStdString();
        EXPECT_FALSE(d.CheckBox()->isChecked()) << name;
        EXPECT_EQ(d.CurvesBox()->isChecked(), c.options.controls == kCurves) << name;
        EXPECT_EQ(d.AxisBox()->currentText(), c.axis) << name;
        EXPECT_EQ(d.DiatonicBox()->isChecked(), c.options.diatonic) << name;
        EXPECT_EQ(d.KeyBox()->currentText(), c.key) << name;
        EXPECT_EQ(d.KeyBox()->isEnabled(), c.options.diatonic) << name;
        EXPECT_EQ(d.TrimBox()->isChecked(), c.options.trim) << name;
        EXPECT_TRUE(d.OkButton()->isEnabled()) << name;
    }
    // The texts a user reads, and every key on offer: from the song, 12 major, 12 minor.
    OpenDialog open(1, {});
    const SettingsDialog& d = open.dialog;
    EXPECT_EQ(d.CurvesBox()->text(), "Mirror pedals and controllers as curves");
    EXPECT_EQ(d.DiatonicBox()->text(), "Invert within the key");
    EXPECT_EQ(d.TrimBox()->text(), "Start at the first note");
    EXPECT_TRUE(d.AxisBox()->isEditable());
    EXPECT_EQ(d.KeyBox()->count(), 25);
    for (int i = 1; i < d.KeyBox()->count(); ++i)
        EXPECT_TRUE(ParseKey(d.KeyBox()->itemText(i).toStdString())) << d.KeyBox()->itemText(i).toStdString();
}

TEST(SettingsOptions, OkTakesWhatTheControlsShowCancelAndEscapeLeaveTheOptions)
{
    const MirrorOptions given = Options(kInstants, 128, true, kAm, false);
    const struct Case {
        const char* name;
        std::function<void(OpenDialog&)> act;
        MirrorOptions taken;  // after OK
    } cases[] = {
        {"nothing changed", [](OpenDialog&) {}, given},
        {"curves", [](OpenDialog& o) { QTest::mouseClick(o.dialog.CurvesBox(), Qt::LeftButton); },
         Options(kCurves, 128, true, kAm, false)},
        {"a typed axis", [](OpenDialog& o) { o.TypeAxis("Bb3"); }, Options(kInstants, 116, true, kAm, false)},
        {"a half-step axis", [](OpenDialog& o) { o.TypeAxis(" 60.5 "); }, Options(kInstants, 121, true, kAm, false)},
        {"each channel's C chosen", [](OpenDialog& o) { o.dialog.AxisBox()->setCurrentIndex(0); },
         Options(kInstants, std::nullopt, true, kAm, false)},
        {"the axis cleared", [](OpenDialog& o) { o.TypeAxis(""); }, Options(kInstants, std::nullopt, true, kAm, false)},
        {"a listed axis", [](OpenDialog& o) { o.dialog.AxisBox()->setCurrentIndex(o.dialog.AxisBox()->findText("C3")); },
         Options(kInstants, 96, true, kAm, false)},
        {"inversion off keeps the key", [](OpenDialog& o) { QTest::mouseClick(o.dialog.DiatonicBox(), Qt::LeftButton); },
         Options(kInstants, 128, false, kAm, false)},
        {"another key", [](OpenDialog& o) { o.dialog.KeyBox()->setCurrentIndex(o.dialog.KeyBox()->findText("Eb")); },
         Options(kInstants, 128, true, kEb, false)},
        {"the song's key", [](OpenDialog& o) { o.dialog.KeyBox()->setCurrentIndex(0); },
         Options(kInstants, 128, true, std::nullopt, false)},
        {"trim", [](OpenDialog& o) { QTest::mouseClick(o.dialog.TrimBox(), Qt::LeftButton); },
         Options(kInstants, 128, true, kAm, true)},
    };
    enum class Close { kOkButton, kReturn, kReturnInTheAxis, kCancelButton, kEscape };
    for (const Case& c : cases) {
        for (Close close : {Close::kOkButton, Close::kReturn, Close::kReturnInTheAxis, Close::kCancelButton,
                            Close::kEscape}) {
            OpenDialog open(1, given);
            c.act(open);
            // The octave option goes along with the rest.
            QTest::mouseClick(open.dialog.CheckBox(), Qt::LeftButton);
            switch (close) {
            case Close::kOkButton: QTest::mouseClick(open.dialog.OkButton(), Qt::LeftButton); break;
            case Close::kReturn: QTest::keyClick(&open.dialog, Qt::Key_Return); break;
            case Close::kReturnInTheAxis: QTest::keyClick(open.dialog.AxisBox()->lineEdit(), Qt::Key_Return); break;
            case Close::kCancelButton: QTest::mouseClick(open.dialog.CancelButton(), Qt::LeftButton); break;
            case Close::kEscape: QTest::keyClick(&open.dialog, Qt::Key_Escape); break;
            }
            const bool ok = close == Close::kOkButton || close == Close::kReturn || close == Close::kReturnInTheAxis;
            const std::string name = std::string(c.name) + " closed " + std::to_string(static_cast<int>(close));
            EXPECT_FALSE(open.dialog.isVisible()) << name;
            EXPECT_EQ(open.dialog.result(), ok ? QDialog::Accepted : QDialog::Rejected) << name;
            EXPECT_EQ(open.dialog.options, ok ? c.taken : given) << name;
            EXPECT_EQ(open.dialog.option, ok ? 0 : 1) << name;
        }
    }
}

TEST(SettingsOptions, AnAxisThatNamesNoNoteIsRefused)
{
    const struct Case {
        QString text;
        std::optional<std::optional<std::int32_t>> axis;  // nothing: refused
    } cases[] = {
        // Whatever ParseAxis reads, blanks around it allowed; the first entry.
        {"Bb3", 116}, {" 64.5 ", 129}, {"G9", 254}, {"Each channel's C", std::optional<std::int32_t>()},
        // No note, or beyond the notes 0 to 127.
        {"H4", std::nullopt}, {"E", std::nullopt}, {"G#9", std::nullopt}, {"128", std::nullopt},
        {"Each channel", std::nullopt},
    };
    const MirrorOptions given = Options(kCurves, 120, false, std::nullopt, true);
    for (const Case& c : cases) {
        const std::string name = c.text.toStdString();
        OpenDialog open(1, given);
        const QPalette::ColorRole ink = QPalette::WindowText;
        const QColor normal = open.dialog.AxisHint()->palette().color(ink);
        open.TypeAxis(c.text);
        EXPECT_EQ(open.dialog.OkButton()->isEnabled(), c.axis.has_value()) << name;
        EXPECT_EQ(open.dialog.AxisHint()->palette().color(ink) == normal, c.axis.has_value()) << name;
        QTest::keyClick(open.dialog.AxisBox()->lineEdit(), Qt::Key_Return);
        QTest::mouseClick(open.dialog.OkButton(), Qt::LeftButton);
        if (c.axis) {
            EXPECT_EQ(open.dialog.result(), QDialog::Accepted) << name;
            EXPECT_EQ(open.dialog.options.twiceAxis, *c.axis) << name;
            continue;
        }
        // Neither Return nor OK closed it, and nothing changed.
        EXPECT_TRUE(open.dialog.isVisible()) << name;
        EXPECT_EQ(open.dialog.options, given) << name;
        // Put right, it is taken.
        open.TypeAxis("D5");
        EXPECT_TRUE(open.dialog.OkButton()->isEnabled()) << name;
        QTest::keyClick(open.dialog.AxisBox()->lineEdit(), Qt::Key_Return);
        EXPECT_FALSE(open.dialog.isVisible()) << name;
        EXPECT_EQ(open.dialog.options.twiceAxis, 148) << name;
    }
}

TEST(SettingsOptions, EveryTextIsReadWholeAndNoControlCoversAnother)
{
    OpenDialog open(1, Options(kCurves, 129, true, kFsm, true));
    const QRect inside = open.dialog.rect();
    const QList<QWidget*> controls = open.dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_GE(controls.size(), 11);
    for (QWidget* a : controls) {
        const std::string name = a->objectName().toStdString() + " " + a->metaObject()->className();
        EXPECT_TRUE(inside.contains(a->geometry())) << name;
        if (qobject_cast<QCheckBox*>(a) || qobject_cast<QLabel*>(a) || qobject_cast<QPushButton*>(a)) {
            EXPECT_GE(a->width(), a->sizeHint().width()) << name << " cut off";
        }
        if (auto* box = qobject_cast<QComboBox*>(a)) {
            for (int i = 0; i < box->count(); ++i)
                EXPECT_GE(box->width(), QFontMetrics(box->font()).horizontalAdvance(box->itemText(i)) + 24)
                    << name << " " << box->itemText(i).toStdString();
        }
        for (QWidget* b : controls) {
            if (a == b) continue;
            EXPECT_FALSE(a->geometry().intersects(b->geometry())) << name << " covers " << b->objectName().toStdString();
        }
    }
}

// ---- Kept between runs ----

class KeptOptions : public ::testing::Test {
protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }
    static void Clear()
    {
        QSettings settings = UserSettings();
        settings.clear();
    }
};

TEST_F(KeptOptions, TheSettingsFileIsTheTestRunsOwn)
{
    const QString file = UserSettings().fileName();
    EXPECT_TRUE(file.startsWith(QDir(test::ScratchSettingsDir()).absolutePath() + '/')) << file.toStdString();
}

TEST_F(KeptOptions, EveryOptionReadsBackAsStored)
{
    for (const MirrorOptions& options :
         {MirrorOptions{}, Options(kCurves, std::nullopt, false, std::nullopt, false),
          Options(kInstants, 0, false, std::nullopt, false), Options(kInstants, 254, true, std::nullopt, false),
          Options(kInstants, 129, true, kAm, true), Options(kCurves, 116, false, kEb, true),
          Options(kInstants, std::nullopt, false, kFsm, false)}) {
        {
            QSettings settings = UserSettings();
            StoreOptions(settings, options);
        }
        QSettings settings = UserSettings();
        EXPECT_EQ(LoadOptions(settings), options);
    }
}

TEST_F(KeptOptions, AValueThatNoLongerReadsCountsAsOff)
{
    {
        QSettings settings = UserSettings();
        StoreOptions(settings, Options(kCurves, 128, true, kAm, true));
    }
    // What a user sees in the file.
    QFile file(UserSettings().fileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    for (const char* line : {"controls=curves", "axis=E4", "diatonic=true", "key=Am", "trim=true"})
        EXPECT_TRUE(text.contains(QLatin1String(line))) << line << " in\n" << text.toStdString();
    file.close();

    QSettings settings = UserSettings();
    settings.setValue("mirror/controls", "sideways");
    settings.setValue("mirror/axis", "H9");
    settings.setValue("mirror/key", "Q#");
    EXPECT_EQ(LoadOptions(settings), Options(kInstants, std::nullopt, true, std::nullopt, true));
    settings.clear();
    EXPECT_EQ(LoadOptions(settings), MirrorOptions{});
}

TEST_F(KeptOptions, OptionsChosenWithOkOpenTheNextWindowTheOctaveDoesNot)
{
    const MirrorOptions chosen = Options(kCurves, 116, true, kAm, true);
    {
        GuiRig rig;
        EXPECT_EQ(rig.window->Logic().Options(), MirrorOptions{});
        OnNextModal([](QWidget* modal) {
            auto* dialog = dynamic_cast<SettingsDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            dialog->CheckBox()->setChecked(false);
            dialog->CurvesBox()->setChecked(true);
            dialog->AxisBox()->setCurrentText("Bb3");
            dialog->DiatonicBox()->setChecked(true);
            dialog->KeyBox()->setCurrentIndex(dialog->KeyBox()->findText("Am"));
            dialog->TrimBox()->setChecked(true);
            QTest::keyClick(modal, Qt::Key_Return);
        });
        rig.Click(MainWindow::kConfig);
        EXPECT_EQ(rig.window->Logic().Options(), chosen);
        EXPECT_EQ(rig.window->Logic().RaiseOctave(), 0);
    }
    GuiRig next;
    EXPECT_EQ(next.window->Logic().Options(), chosen);
    EXPECT_EQ(next.window->Logic().RaiseOctave(), 1);
    // The dialog opens on them; leaving it with Escape keeps them.
    SettingsChoice shown;
    OnNextModal([&shown](QWidget* modal) {
        auto* dialog = dynamic_cast<SettingsDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        shown = {dialog->CheckBox()->isChecked() ? 1 : 0,
                 Options(dialog->CurvesBox()->isChecked() ? kCurves : kInstants,
                         ParseAxis(dialog->AxisBox()->currentText().toStdString()), dialog->DiatonicBox()->isChecked(),
                         ParseKey(dialog->KeyBox()->currentText().toStdString()), dialog->TrimBox()->isChecked())};
        dialog->TrimBox()->setChecked(false);
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    next.Click(MainWindow::kConfig);
    EXPECT_EQ(shown, (SettingsChoice{1, chosen}));
    EXPECT_EQ(next.window->Logic().Options(), chosen);
    QSettings settings = UserSettings();
    EXPECT_EQ(LoadOptions(settings), chosen);
}

}  // namespace
}  // namespace rovanta
