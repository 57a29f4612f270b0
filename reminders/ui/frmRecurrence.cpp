#include "frmRecurrence.h"

#include "ui_frmRecurrence.h"

#include "ZTExceptions.h"
#include "ZTHelpUtils.h"
#include "ZTMsgFrm.h"
#include "uCalendarColours.h"
#include "uFunctions.h"

#include <QPointer>

namespace {
TRecurrenceAnswerer &Answerer()
{
    static TRecurrenceAnswerer answerer;
    return answerer;
}

const QString kFailure = QStringLiteral("Error setting the range of recurrence.");
const QString kEndBeforeStart = QStringLiteral("The reminder end date must be greater than the start date.");
} // namespace

void VNTRSetRecurrenceAnswerer(TRecurrenceAnswerer answerer)
{
    Answerer() = std::move(answerer);
}

TRecurrenceDlg::TRecurrenceDlg(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TRecurrenceDlg>())
{
    ui->setupUi(this);
    ZTApplyMessageFont(this, QStringLiteral("Tahoma"));
    setFixedSize(size());
    ui->txtStartDate->setDisplayFormat(ShortDateFormat());
    ui->txtEndDate->setDisplayFormat(ShortDateFormat());
    ApplyPickerColours(ui->txtStartDate);
    ApplyPickerColours(ui->txtEndDate);
    ZTInstallFormKeys(this, HelpContext);
    connect(ui->cmdOK, &QPushButton::clicked, this, &TRecurrenceDlg::cmdOKClick);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &TRecurrenceDlg::cmdCancelClick);
    connect(ui->radEndBy, &QRadioButton::toggled, this, &TRecurrenceDlg::radEndByToggled);
}

TRecurrenceDlg::~TRecurrenceDlg() = default;

void TRecurrenceDlg::Prepare(TDateTime startDate, bool noEnd, TDateTime endDate)
{
    confirmed_ = false;
    ui->txtStartDate->setDate(DateTimeToQDate(startDate));
    if (noEnd)
        ui->radNoEnd->setChecked(true);
    else
        ui->radEndBy->setChecked(true);
    ui->txtEndDate->setDate(DateTimeToQDate(endDate));
    // Toggling only reports a change: a first selection equal to the designer's state has to be applied too.
    radEndByToggled(ui->radEndBy->isChecked());
    ui->txtStartDate->setFocus(Qt::OtherFocusReason);
}

TDateTime TRecurrenceDlg::StartDate() const
{
    return QDateToDateTime(ui->txtStartDate->date());
}

bool TRecurrenceDlg::NoEnd() const
{
    return ui->radNoEnd->isChecked();
}

TDateTime TRecurrenceDlg::EndDate() const
{
    return QDateToDateTime(ui->txtEndDate->date());
}

void TRecurrenceDlg::PressOK()
{
    cmdOKClick();
}

void TRecurrenceDlg::PressCancel()
{
    cmdCancelClick();
}

void TRecurrenceDlg::cmdOKClick()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] {
        // An end on the start day itself is a range of one day.
        if (ui->radEndBy->isChecked() && ui->txtEndDate->date() < ui->txtStartDate->date())
            throw EZTException(kEndBeforeStart, QString(), EZTException::Information);
        confirmed_ = true;
        accept();
    });
}

void TRecurrenceDlg::cmdCancelClick()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] { reject(); });
}

void TRecurrenceDlg::radEndByToggled(bool checked)
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] { ui->txtEndDate->setEnabled(checked); });
}

bool ShowRecurrenceRangeDialog(QWidget *owner, TDateTime &startDate, bool &noEnd, TDateTime &endDate)
{
    QPointer<TRecurrenceDlg> dialog = new TRecurrenceDlg(owner);
    struct TRelease {
        QPointer<TRecurrenceDlg> &dialog;
        ~TRelease() { delete dialog.data(); }
    } release{dialog};

    dialog->Prepare(startDate, noEnd, endDate);
    if (const TRecurrenceAnswerer &answerer = Answerer())
        answerer(*dialog);
    else
        dialog->exec();
    if (!dialog || !dialog->Confirmed())
        return false;
    startDate = dialog->StartDate();
    noEnd = dialog->NoEnd();
    endDate = dialog->EndDate();
    return true;
}
