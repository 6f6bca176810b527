#include "app/Dialogs.h"

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>

namespace rovanta {

QFont DialogFont()
{
    QFont font(QStringLiteral("IPAPGothic"), 9);
    // Where that face is missing, any Japanese gothic rather than boxes.
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("sans-serif")});
    return font;
}

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = std::max(1, (letters / 26 + 1) / 2);
    baseY_ = std::max(1, metrics.height());
}

QRect DialogUnits::ToPixels(int x, int y, int w, int h) const
{
    return QRect(X(x), Y(y), X(w), Y(h));
}

// ---- About ----

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Rovantaのﾊﾞｰｼﾞｮﾝ情報"));
    setFont(DialogFont());
    const DialogUnits du(font());

    auto* icon = new QLabel(this);
    icon->setGeometry(du.ToPixels(11, 17, 20, 20));
    icon->setPixmap(QIcon(QStringLiteral(":/icons/128")).pixmap(icon->size()));

    auto* name = new QLabel(QString::fromUtf8("Rovanta Version " ROVANTA_VERSION), this);
    name->setTextFormat(Qt::PlainText);
    name->setGeometry(du.ToPixels(40, 10, 119, 8));

    auto* line = new QLabel(QStringLiteral("Hear your music in the mirror."), this);
    line->setTextFormat(Qt::PlainText);
    line->setGeometry(du.ToPixels(40, 25, 119, 8));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(du.ToPixels(178, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    // Labels may need more room than the dialog layout gives them in this font.
    for (QLabel* label : {name, line}) label->resize(std::max(label->width(), label->sizeHint().width()), label->height() + 4);
    setFixedSize(std::max(du.X(235), line->geometry().right() + du.X(75)), du.Y(55));
}

// ---- Settings ----

namespace {

// Rows of the Settings dialog, in dialog units.
constexpr int kLeft = 15, kFieldX = 50, kFieldWidth = 80, kRowHeight = 14;
constexpr int kOctaveY = 5, kCurvesY = 21, kAxisY = 37, kDiatonicY = 55, kKeyY = 71, kTrimY = 89, kButtonsY = 110;
constexpr int kButtonWidth = 50, kButtonGap = 6;

// The keys offered, around the circle of fifths: the majors, then the minors.
constexpr std::array<int, 12> kMajorTonics{0, 7, 2, 9, 4, 11, 6, 1, 8, 3, 10, 5};
constexpr std::array<int, 12> kMinorTonics{9, 4, 11, 6, 1, 8, 3, 10, 5, 0, 7, 2};

QString Text(const std::string& text) { return QString::fromStdString(text); }

// A label beside a field, read as the field's name.
QLabel* FieldLabel(QWidget* parent, const char* text, QWidget* field)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setTextFormat(Qt::PlainText);
    label->setBuddy(field);
    return label;
}

}  // namespace

std::optional<std::optional<std::int32_t>> SettingsDialog::AxisOfText(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed == QLatin1String(kEachChannelsC)) return std::optional<std::int32_t>();
    const std::optional<std::int32_t> axis = ParseAxis(trimmed.toStdString());
    if (!axis) return std::nullopt;
    return axis;
}

SettingsDialog::SettingsDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("設定"));
    setFont(DialogFont());
    const DialogUnits du(font());

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, [this] { OnOk(); });

    checkBox_ = new QCheckBox(QStringLiteral("垂直反転で１オクターブ上げる"), this);
    checkBox_->setObjectName(QString::number(kCheckBoxId));
    checkBox_->setGeometry(du.ToPixels(kLeft, kOctaveY, 120, kRowHeight));

    curves_ = new QCheckBox(QString::fromUtf8(kCurvesText), this);
    curves_->setObjectName(QStringLiteral("curves"));
    curves_->setToolTip(QStringLiteral("With Horizontal Reverse: a held pedal or a swell keeps its shape, mirrored "
                                       "in time, instead of each change moving on its own."));
    curves_->setGeometry(du.ToPixels(kLeft, kCurvesY, 120, kRowHeight));

    axis_ = new QComboBox(this);
    axis_->setObjectName(QStringLiteral("axis"));
    axis_->setEditable(true);
    axis_->setInsertPolicy(QComboBox::NoInsert);
    axis_->addItem(QString::fromUtf8(kEachChannelsC));
    for (int octave = 2; octave <= 6; ++octave) axis_->addItem(Text(AxisName(2 * 12 * (octave + 1))));
    axis_->setToolTip(QStringLiteral("With Vertical Reverse: the note every channel is reflected about, or each "
                                     "channel's C at or below the middle of its range."));
    axis_->setGeometry(du.ToPixels(kFieldX, kAxisY, kFieldWidth, kRowHeight));
    axisLabel_ = FieldLabel(this, kAxisText, axis_);
    axisLabel_->setGeometry(du.ToPixels(kLeft, kAxisY + 3, kFieldX - kLeft - 3, 8));
    axisHint_ = new QLabel(QString::fromUtf8(kAxisHint), this);
    axisHint_->setTextFormat(Qt::PlainText);
    axisHint_->setGeometry(du.ToPixels(kFieldX + kFieldWidth + 4, kAxisY + 3, 70, 8));
    connect(axis_, &QComboBox::editTextChanged, this, [this] { CheckAxis(); });

    diatonic_ = new QCheckBox(QString::fromUtf8(kDiatonicText), this);
    diatonic_->setObjectName(QStringLiteral("diatonic"));
    diatonic_->setToolTip(QStringLiteral("With Vertical Reverse: reflect scale steps within the key, so the melody "
                                         "stays in the key, instead of half steps."));
    diatonic_->setGeometry(du.ToPixels(kLeft, kDiatonicY, 120, kRowHeight));
    key_ = new QComboBox(this);
    key_->setObjectName(QStringLiteral("key"));
    key_->addItem(QString::fromUtf8(kKeyFromSong));
    for (bool minor : {false, true})
        for (int tonic : minor ? kMinorTonics : kMajorTonics) key_->addItem(Text(KeyName(MusicalKey{tonic, minor})));
    key_->setToolTip(QStringLiteral("From the song: its first key signature, or C major when it has none."));
    key_->setGeometry(du.ToPixels(kFieldX, kKeyY, kFieldWidth, kRowHeight));
    keyLabel_ = FieldLabel(this, kKeyText, key_);
    keyLabel_->setGeometry(du.ToPixels(kLeft + 12, kKeyY + 3, kFieldX - kLeft - 15, 8));
    connect(diatonic_, &QCheckBox::toggled, this, [this](bool on) {
        key_->setEnabled(on);
        keyLabel_->setEnabled(on);
    });

    trim_ = new QCheckBox(QString::fromUtf8(kTrimText), this);
    trim_->setObjectName(QStringLiteral("trim"));
    trim_->setToolTip(QStringLiteral("The whole measures of silence before the first note are left out."));
    trim_->setGeometry(du.ToPixels(kLeft, kTrimY, 120, kRowHeight));

    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    // Tab order: OK, then the options from the top, then Cancel.
    QWidget* order[] = {ok_, checkBox_, curves_, axis_, diatonic_, key_, trim_, cancel_};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
    Arrange();
}

void SettingsDialog::Arrange()
{
    const DialogUnits du(font());
    int right = du.X(139 - kLeft);
    // The labels before the fields keep their room; the rest grow to their text.
    for (QWidget* widget : std::initializer_list<QWidget*>{checkBox_, curves_, diatonic_, trim_, axisHint_}) {
        const int wanted = widget->sizeHint().width();
        if (wanted > widget->width()) widget->resize(wanted, widget->height());
        right = std::max(right, widget->geometry().right());
    }
    const int width = right + du.X(kLeft);
    const int buttonsLeft = (width - du.X(2 * kButtonWidth + kButtonGap)) / 2;
    ok_->setGeometry(buttonsLeft, du.Y(kButtonsY), du.X(kButtonWidth), du.Y(kRowHeight));
    cancel_->setGeometry(buttonsLeft + du.X(kButtonWidth + kButtonGap), du.Y(kButtonsY), du.X(kButtonWidth),
                         du.Y(kRowHeight));
    setFixedSize(width, du.Y(kButtonsY + kRowHeight + 7));
}

void SettingsDialog::showEvent(QShowEvent* event)
{
    // Initialization happens once, when the dialog first shows, with the
    // options the caller set after constructing it.
    if (!initialized_) {
        initialized_ = true;
        if (option == 1) checkBox_->setChecked(true);
        // The English caption is longer than the room the layout gives the
        // Japanese one; it must be read whole.
        checkBox_->setText(QString::fromUtf8(kCheckBoxText));
        curves_->setChecked(options.controls == ControlMirroring::kCurves);
        axis_->setCurrentText(options.twiceAxis ? Text(AxisName(*options.twiceAxis)) : QString::fromUtf8(kEachChannelsC));
        diatonic_->setChecked(options.diatonic);
        key_->setCurrentIndex(options.key ? std::max(0, key_->findText(Text(KeyName(*options.key)))) : 0);
        key_->setEnabled(options.diatonic);
        keyLabel_->setEnabled(options.diatonic);
        trim_->setChecked(options.trim);
        CheckAxis();
        Arrange();
    }
    QDialog::showEvent(event);
}

void SettingsDialog::CheckAxis()
{
    const bool valid = AxisOfText(axis_->currentText()).has_value();
    ok_->setEnabled(valid);
    QPalette hint = palette();
    if (!valid) hint.setColor(QPalette::WindowText, QColor(192, 0, 0));
    axisHint_->setPalette(hint);
}

void SettingsDialog::OnOk()
{
    const auto axis = AxisOfText(axis_->currentText());
    if (!axis) return;
    option = checkBox_->isChecked() ? 1 : 0;
    options.controls = curves_->isChecked() ? ControlMirroring::kCurves : ControlMirroring::kInstants;
    options.twiceAxis = *axis;
    options.diatonic = diatonic_->isChecked();
    options.key = key_->currentIndex() > 0 ? ParseKey(key_->currentText().toStdString()) : std::nullopt;
    options.trim = trim_->isChecked();
    accept();
}

}  // namespace rovanta
