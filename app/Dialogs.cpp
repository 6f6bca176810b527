#include "app/Dialogs.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

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

// ---- About (template 100) ----

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

// ---- Settings (template 136) ----

SettingsDialog::SettingsDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("設定"));
    setFont(DialogFont());
    const DialogUnits du(font());

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(du.ToPixels(45, 35, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { OnOk(); });

    checkBox_ = new QCheckBox(QStringLiteral("垂直反転で１オクターブ上げる"), this);
    checkBox_->setObjectName(QStringLiteral("1016"));
    checkBox_->setGeometry(du.ToPixels(15, 5, 120, 20));
    // Tab order: OK, then the check box.
    setTabOrder(ok, checkBox_);
    setFixedSize(du.X(139), du.Y(55));
}

void SettingsDialog::showEvent(QShowEvent* event)
{
    // Initialization happens once, when the dialog first shows, with the
    // option the caller set after constructing it.
    if (!initialized_) {
        initialized_ = true;
        if (option == 1) checkBox_->setChecked(true);
        checkBox_->setText(QString::fromUtf8(kCheckBoxText));
        // The English caption is longer than the box the dialog layout gives the
        // Japanese one; it must be read whole.
        const int wanted = checkBox_->sizeHint().width();
        if (wanted > checkBox_->width()) {
            checkBox_->resize(wanted, checkBox_->height());
            setFixedSize(std::max(width(), checkBox_->geometry().right() + checkBox_->x()), height());
        }
    }
    QDialog::showEvent(event);
}

void SettingsDialog::OnOk()
{
    option = checkBox_->isChecked() ? 1 : 0;
    accept();
}

}  // namespace rovanta
