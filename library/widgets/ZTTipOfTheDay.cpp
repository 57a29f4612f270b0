#include "ZTTipOfTheDay.h"
#include "ui_ZTTipOfTheDay.h"

#include "ZTApp.h"
#include "ZTCrypto.h"
#include "ZTExceptions.h"
#include "ZTFileUtils.h"
#include "ZTFormUtils.h"
#include "ZTHelpUtils.h"
#include "ZTMsgFrm.h"
#include "ZTStrUtils.h"

#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include <stdexcept>

namespace {

// "The tips file could not be found. Please reinstall the program to get the tips back."
constexpr char TipsFileMissingStored[] =
    "xZ6QRPR2DwKc3r8CUsw8PEwEPrzI67Ca39Fvv+dXqEznjenB08c9vLby3a6GjzM4D1/MiXgEObP1epXRa9iPAbyAm6gbmeSkwYVuL1nFsV0gSm+"
    "3FW2Ln2kJYpsFD4TC";

// The bulb of the dialog's left strip, drawn rather than read from a file.
QPixmap BulbPicture()
{
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath glass;
    glass.addEllipse(QRectF(6, 2, 20, 20));
    painter.setPen(QPen(QColor(0x80, 0x60, 0x00), 1.2));
    painter.setBrush(QColor(0xFF, 0xE8, 0x40));
    painter.drawPath(glass);
    painter.setBrush(QColor(0xA0, 0xA0, 0xA0));
    painter.setPen(QPen(QColor(0x50, 0x50, 0x50), 1));
    painter.drawRect(QRectF(11, 21, 10, 7));
    painter.drawLine(QPointF(11, 23.5), QPointF(21, 23.5));
    painter.drawLine(QPointF(11, 26), QPointF(21, 26));
    painter.setBrush(QColor(0x50, 0x50, 0x50));
    painter.drawRect(QRectF(13.5, 28, 5, 2));
    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(10, 6, 10, 10), 100 * 16, 80 * 16);
    return picture;
}

} // namespace

QString ZTTipsFileMissingMessage()
{
    return DecipherString(QString::fromLatin1(TipsFileMissingStored));
}

QStringList ZTLoadTips(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(file.errorString().toStdString());
    const QString text = ZTDecodeText(file.readAll());
    QStringList tips;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        tips.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        tips.append(text.mid(start));
    return tips;
}

TTipOfTheDayForm::TTipOfTheDayForm(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TTipOfTheDayForm>())
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(size());

    QPalette strip = ui->pIcon->palette();
    strip.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80)); // application workspace
    ui->pIcon->setPalette(strip);
    ui->pIcon->setAutoFillBackground(true);
    QPalette white = ui->pTip->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    ui->pTip->setPalette(white);
    ui->pTip->setAutoFillBackground(true);
    ui->imgIcon->setPixmap(BulbPicture());

    connect(ui->cmdNextTip, &QPushButton::clicked, this, &TTipOfTheDayForm::cmdNextTipClick);
    connect(ui->cmdClose, &QPushButton::clicked, this, &TTipOfTheDayForm::cmdCloseClick);
    ZTInstallFormKeys(this, HelpContextContents);
}

TTipOfTheDayForm::~TTipOfTheDayForm() = default;

void TTipOfTheDayForm::SetTips(const QStringList &tips)
{
    tips_ = tips;
    tipIndex_ = 0;
    ShowTip();
}

QString TTipOfTheDayForm::CurrentTip() const
{
    return ui->lblMessage->text();
}

void TTipOfTheDayForm::SetShowTips(bool value)
{
    ui->chkShowTips->setChecked(value);
}

bool TTipOfTheDayForm::ShowTips() const
{
    return ui->chkShowTips->isChecked();
}

void TTipOfTheDayForm::ShowTip()
{
    ui->lblMessage->setText(tipIndex_ >= 0 && tipIndex_ < tips_.size() ? tips_.at(tipIndex_) : QString());
}

void TTipOfTheDayForm::cmdNextTipClick()
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal error."), [this] {
        ++tipIndex_;
        if (tipIndex_ >= tips_.size())
            tipIndex_ = 0;
        ShowTip();
    });
}

void TTipOfTheDayForm::cmdCloseClick()
{
    close();
}

bool ShowTipOfTheDay(const TZTApplication &application, bool showAtStartup, bool forced)
{
    if (!showAtStartup && !forced)
        return false;
    if (application.TipsFile.isEmpty() || !ZTFileExistsSafe(application.TipsFile)) {
        if (forced)
            ZTMessage(ZTTipsFileMissingMessage(), application.Title, ZTMsg::mtWarning, ZTMsg::bsOK, 1, application.LanguageId,
                      application.FontName);
        return false;
    }

    TTipOfTheDayForm form(ZTDialogOwner());
    ZTApplyMessageFont(&form, application.FontName);
    form.SetShowTips(showAtStartup);
    QStringList tips;
    bool loaded = true;
    try {
        tips = ZTLoadTips(application.TipsFile);
    } catch (...) {
        // The dialog still opens, with an empty tip.
        loaded = false;
    }
    if (loaded && tips.isEmpty())
        return form.ShowTips();
    ZTShuffle(tips);
    form.SetTips(tips);
    form.exec();
    return form.ShowTips();
}
