#include "frmRecurring.h"

#include "ui_frmRecurring.h"

#include "ZTExceptions.h"
#include "ZTHelpUtils.h"
#include "ZTMsgFrm.h"

#include <QFontMetrics>
#include <QPointer>
#include <QStyle>

namespace {
TRecurringAnswerer &Answerer()
{
    static TRecurringAnswerer answerer;
    return answerer;
}

const QString kFailure = QStringLiteral("Error processing recurring reminder.");

struct TQuestionTexts {
    QString Caption;
    QString Description;
    QString Occurrence;
    QString Series;
};

TQuestionTexts QuestionTexts(TRecurringDlg::TQuestion question)
{
    if (question == TRecurringDlg::DeleteQuestion)
        return {QStringLiteral("Delete recurring item..."),
                QStringLiteral("'%s' is a recurring reminder. Do you want to delete only this occurrence or the series?"),
                QStringLiteral("Delete this occ&urrence"), QStringLiteral("Delete the &series")};
    return {QStringLiteral("Open recurring item..."),
            QStringLiteral("'%s' is a recurring reminder. Do you want to open only this occurrence or the series?"),
            QStringLiteral("Open this occ&urrence"), QStringLiteral("Open the &series")};
}

bool Ask(QWidget *owner, TRecurringDlg::TQuestion question, const QString &reminderText, bool &series)
{
    QPointer<TRecurringDlg> dialog = new TRecurringDlg(owner);
    struct TRelease {
        QPointer<TRecurringDlg> &dialog;
        ~TRelease() { delete dialog.data(); }
    } release{dialog};

    dialog->Prepare(question, reminderText);
    if (const TRecurringAnswerer &answerer = Answerer()) {
        const TRecurringAnswer answer = answerer(*dialog);
        if (!dialog)
            return false;
        if (answer.Series)
            dialog->findChild<QRadioButton *>(QStringLiteral("radSeries"))->setChecked(true);
        if (answer.Confirmed)
            dialog->PressOK();
        else
            dialog->PressCancel();
    } else {
        dialog->exec();
    }
    if (!dialog || !dialog->Confirmed())
        return false;
    series = dialog->Series();
    return true;
}
} // namespace

void VNTRSetRecurringAnswerer(TRecurringAnswerer answerer)
{
    Answerer() = std::move(answerer);
}

bool AskOpenOccurrenceOrSeries(QWidget *owner, const QString &reminderText, bool &series)
{
    return Ask(owner, TRecurringDlg::OpenQuestion, reminderText, series);
}

bool AskDeleteOccurrenceOrSeries(QWidget *owner, const QString &reminderText, bool &series)
{
    return Ask(owner, TRecurringDlg::DeleteQuestion, reminderText, series);
}

TRecurringDlg::TRecurringDlg(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TRecurringDlg>())
{
    ui->setupUi(this);
    ZTApplyMessageFont(this, QStringLiteral("Tahoma"));
    setFixedSize(size());
    ui->imgQuestion->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(32, 32));
    ZTInstallFormKeys(this, HelpContext);
    connect(ui->cmdOK, &QPushButton::clicked, this, &TRecurringDlg::cmdOKClick);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &TRecurringDlg::cmdCancelClick);
}

TRecurringDlg::~TRecurringDlg() = default;

void TRecurringDlg::Prepare(TQuestion question, const QString &reminderText)
{
    confirmed_ = false;
    const TQuestionTexts texts = QuestionTexts(question);
    setWindowTitle(texts.Caption);
    // Only the pattern is searched for the place holder, never the inserted text. A long
    // reminder text is shortened (with "...") until the whole question fits the label's lines,
    // so the question itself always shows.
    QLabel *label = ui->lblDescription;
    const QFontMetrics metrics(label->font());
    const auto fits = [&](const QString &text) {
        label->setText(text);
        return label->heightForWidth(label->width()) <= label->height();
    };
    const auto withText = [&](int width) {
        return QString(texts.Description).replace(QLatin1String("%s"), metrics.elidedText(reminderText, Qt::ElideRight, width));
    };
    QString description = QString(texts.Description).replace(QLatin1String("%s"), reminderText);
    if (!fits(description)) {
        // The widest shortened text that still fits.
        int low = 0, high = metrics.horizontalAdvance(reminderText);
        while (low < high) {
            const int middle = (low + high + 1) / 2;
            if (fits(withText(middle)))
                low = middle;
            else
                high = middle - 1;
        }
        description = withText(low);
    }
    label->setText(description);
    label->setToolTip(reminderText);
    ui->radOccurrence->setText(texts.Occurrence);
    ui->radOccurrence->setAccessibleName(QString(texts.Occurrence).remove(QLatin1Char('&')));
    ui->radSeries->setText(texts.Series);
    ui->radSeries->setAccessibleName(QString(texts.Series).remove(QLatin1Char('&')));
    ui->radOccurrence->setChecked(true);
    ui->radOccurrence->setFocus(Qt::OtherFocusReason);
}

bool TRecurringDlg::Series() const
{
    return ui->radSeries->isChecked();
}

void TRecurringDlg::PressOK()
{
    cmdOKClick();
}

void TRecurringDlg::PressCancel()
{
    cmdCancelClick();
}

void TRecurringDlg::cmdOKClick()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] {
        confirmed_ = true;
        accept();
    });
}

void TRecurringDlg::cmdCancelClick()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] { reject(); });
}
