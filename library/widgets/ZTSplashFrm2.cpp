#include "ZTSplashFrm2.h"

#include "ui_ZTSplashFrm2.h"

#include "ZTApp.h"
#include "ZTCrypto.h"
#include "ZTFormUtils.h"

#include <QPalette>
#include <QPixmap>

namespace {

// "Version"
constexpr char VersionWordStored[] = "WpjOxhLcgk2Dk46+cRv6lH4/4w==";
// The copyright notice under the copyright line.
constexpr char SplashNoticeStored[] =
    "2lYfeOybVOugssYrR0xuGPIi2TfmZjiR63PGtIKGq54SRYXtY/ZXMhkVAHpsIAYLVeR6JvAqakRxNkL7IdYzUypTzHIVDpr/"
    "llrWBhM73Hi9KTuZVoGxEyh8ecG8yTjii4Ho+Mi1H4u9DlMeac27ED7QByi9/xgYjJQ1OSqP0I/bVySNFNjwzlhZkhfO+F+"
    "yNHJVQd7XlcYmajDXmlrPXWeaxdDs2+UD3O+e7QmZTcy6dRJ17A==";

void SetTextColor(QWidget *label, const QColor &color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

} // namespace

QString ZTVersionWord()
{
    return DecipherString(QString::fromLatin1(VersionWordStored));
}

QString ZTSplashNotice()
{
    return DecipherString(QString::fromLatin1(SplashNoticeStored));
}

TSplashForm::TSplashForm(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      ui(std::make_unique<Ui::TSplashForm>())
{
    ui->setupUi(this);
    setFixedSize(FormWidth, FormHeight);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0)); // silver
    setPalette(palette);
    setAutoFillBackground(true);
    SetTextColor(ui->lblApplicationVersion, palette.color(QPalette::WindowText));
    SetTextColor(ui->lblSpecialVersion, Qt::white);
}

TSplashForm::~TSplashForm() = default;

void TSplashForm::Prepare(const TZTApplication &application, const QPixmap *bitmap, const QColor &textColor)
{
    ui->lblApplicationVersion->setText(QStringLiteral("%1 %2").arg(ZTVersionWord(), application.Version));
    ui->lblCopyright->setText(application.Copyright);
    SetTextColor(ui->lblCopyright, textColor);
    ui->lblWarning->setText(ZTSplashNotice());
    SetTextColor(ui->lblWarning, textColor);
    ui->lblSpecialVersion->setText(application.SpecialVersion);
    if (bitmap && !bitmap->isNull())
        ui->ImgSplash->setPixmap(*bitmap);
    else
        ui->ImgSplash->clear();
}

void TSplashForm::CenterOnScreen()
{
    ZTCentreOnScreen(this);
}
