#include "ZTAboutFrm2.h"
#include "ui_ZTAboutFrm2.h"

#include "ZTApp.h"
#include "ZTCrypto.h"
#include "ZTExceptions.h"
#include "ZTFormUtils.h"
#include "ZTHelpUtils.h"
#include "ZTMapi.h"
#include "ZTMsgFrm.h"
#include "ZTShellUtils.h"
#include "ZTSplashFrm2.h"
#include "ZTSysUtils.h"

#include <QApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPalette>

namespace {

// "&Contacts >>" and "<< &Contacts".
constexpr char ContactsShowStored[] = "YNJcWiOAdS6zEd4x6iqURXF7KapR3EXq";
constexpr char ContactsHideStored[] = "o8M9oKyT6BZ/Cy0Wyi2KyUsuCwIujsG3";

const QString DefaultSupportAddress = QStringLiteral("support@merrowick.example");
const QString DefaultWebSite = QStringLiteral("http://www.merrowick.example");

void SetBackground(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

QString ZTContactsShowCaption()
{
    return DecipherString(QString::fromLatin1(ContactsShowStored));
}

QString ZTContactsHideCaption()
{
    return DecipherString(QString::fromLatin1(ContactsHideStored));
}

QString ZTSuggestionsAddress()
{
    return QStringLiteral("suggestions@merrowick.example");
}

QString ZTOrdersAddress()
{
    return QStringLiteral("orders@merrowick.example");
}

QString ZTInformationAddress()
{
    return QStringLiteral("info@merrowick.example");
}

TAboutForm::TAboutForm(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TAboutForm>())
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(size());
    ui->pSecret->hide();
    SetBackground(ui->pSecret, palette().color(QPalette::Window));
    for (int number = 1; number <= AddressCount; ++number) {
        QLabel *label = AddressLabel(number);
        label->setCursor(Qt::PointingHandCursor);
        label->installEventFilter(this);
    }
    connect(ui->cmdOK, &QPushButton::clicked, this, &TAboutForm::cmdOKClick);
    connect(ui->cmdSysInfo, &QPushButton::clicked, this, &TAboutForm::cmdSysInfoClick);
    connect(ui->cmdContacts, &QPushButton::clicked, this, &TAboutForm::cmdContactsClick);
    ui->cmdOK->setFocus();
    ZTInstallFormKeys(this, HelpContextContents);
}

TAboutForm::~TAboutForm() = default;

QLabel *TAboutForm::AddressLabel(int number) const
{
    switch (number) {
    case 1:
        return ui->lblAddress01;
    case 2:
        return ui->lblAddress02;
    case 3:
        return ui->lblAddress03;
    case 4:
        return ui->lblAddress04;
    case 5:
        return ui->lblAddress05;
    default:
        return nullptr;
    }
}

QString TAboutForm::Address(int number) const
{
    const QLabel *label = AddressLabel(number);
    return label ? label->text() : QString();
}

void TAboutForm::Prepare(const TZTApplication &application, const QString &fontName)
{
    application_ = &application;
    ZTApplyMessageFont(this, fontName);
    setWindowTitle(QStringLiteral("About %1...").arg(application.Title));
    ui->lblApplicationName->setText(application.Title == application.FamilyName ? application.AlternateName : application.Title);
    ui->lblApplicationVersion->setText(QStringLiteral("%1 %2").arg(ZTVersionWord(), application.Version));
    ui->lblSpecialVersion->setText(application.SpecialVersion);
    ui->lblCopyright->setText(application.Copyright);

    QIcon icon = qvariant_cast<QIcon>(application.AppIcon);
    if (icon.isNull())
        icon = QApplication::windowIcon();
    ui->imgApplicationIcon->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(ui->imgApplicationIcon->size()));

    const QColor accent = QColor::fromRgb(ZTColorToRgb(application.AccentColor));
    SetBackground(ui->pLeft, accent);
    SetBackground(ui->pIcon02, accent);

    const QString support = application.WebAddresses && !application.WebAddresses->SupportEmail.isEmpty()
                                ? application.WebAddresses->SupportEmail
                                : DefaultSupportAddress;
    const QString web = application.WebAddresses && !application.WebAddresses->WebSite.isEmpty()
                            ? application.WebAddresses->WebSite
                            : DefaultWebSite;
    ui->lblAddress01->setText(support);
    ui->lblAddress02->setText(ZTSuggestionsAddress());
    ui->lblAddress03->setText(ZTOrdersAddress());
    ui->lblAddress04->setText(ZTInformationAddress());
    ui->lblAddress05->setText(web);
    for (int number = 1; number <= AddressCount; ++number)
        AddressLabel(number)->setToolTip(Address(number));
    UpdateContactsCaption();
}

bool TAboutForm::ContactsShown() const
{
    return !ui->pSecret->isHidden();
}

void TAboutForm::UpdateContactsCaption()
{
    ui->cmdContacts->setText(ContactsShown() ? ZTContactsHideCaption() : ZTContactsShowCaption());
}

bool TAboutForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        for (int number = 1; number <= AddressCount; ++number) {
            if (watched == AddressLabel(number)) {
                lblAddressClick(number);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutForm::cmdOKClick()
{
    accept();
}

void TAboutForm::cmdSysInfoClick()
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Unable to run System Info at this time."), [] { RunSystemInfo(); });
}

void TAboutForm::cmdContactsClick()
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal error."), [this] {
        ui->pSecret->setVisible(!ContactsShown());
        if (ContactsShown())
            ui->pSecret->raise();
        UpdateContactsCaption();
    });
}

void TAboutForm::lblAddressClick(int number)
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal error."), [this, number] {
        const QString address = Address(number);
        if (number == AddressCount) {
            OpenWebAddress(address);
            return;
        }
        TZTApplication fallback;
        fallback.Title = QApplication::applicationDisplayName();
        SendMailTo(application_ ? *application_ : fallback, address);
    });
}

void ShowAboutBox(const TZTApplication &application, const QString &fontName)
{
    TAboutForm form(ZTDialogOwner());
    form.Prepare(application, fontName);
    form.exec();
}
