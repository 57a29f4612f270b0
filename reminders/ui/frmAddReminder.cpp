#include "frmAddReminder.h"

#include "ui_frmAddReminder.h"

#include "ZTClock.h"
#include "ZTExceptions.h"
#include "ZTFileUtils.h"
#include "ZTFormUtils.h"
#include "ZTHelpUtils.h"
#include "ZTMsgFrm.h"
#include "ZTStrUtils.h"
#include "frmRecurrence.h"
#include "uCalendarColours.h"
#include "uFunctions.h"
#include "uMain.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QStyle>

#include <algorithm>
#include <array>
#include <cmath>

bool ReminderDialogOpen = false;

TReminderDialogNotifier &ReminderDialogNotifier()
{
    static TReminderDialogNotifier notifier;
    return notifier;
}

namespace {
TAddReminderAnswerer &Answerer()
{
    static TAddReminderAnswerer answerer;
    return answerer;
}

const QString kFailure = QStringLiteral("Error processing reminder.");
const QString kAddCaption = QStringLiteral("Add Reminder...");
const QString kEditCaption = QStringLiteral("Edit Reminder...");
const QString kSoundMissing = QStringLiteral("Sound file does not exist.");
const QString kSoundNotWav = QStringLiteral("Sound file must be a WAV file (extension .wav).");
const QString kNoProgram = QStringLiteral("You must specify the program location.");
const QString kNoWeekday = QStringLiteral("You must select at least one weekday.");
const QString kShortMonths = QStringLiteral(
    "Some months have fewer than %d days. For these months, the reminder will fall on the last day of the month. Is this OK?");
const QString kSeriesPassed =
    QStringLiteral("The reminder(s) for '%s' cannot be set because all the occurences are in the past.");
const QString kOneTimePassed = QStringLiteral("The reminder for '%s' cannot be set because its time has passed.");

constexpr int kOnce = ruNone;

// Raises a refusal of OK: shown by the application-wide handler, the dialog stays open.
[[noreturn]] void Refuse(const QString &message)
{
    throw EZTException(message, QString(), EZTException::Information);
}
} // namespace

void VNTRSetAddReminderAnswerer(TAddReminderAnswerer answerer)
{
    Answerer() = std::move(answerer);
}

// ---- The number fields ----

TVNTRNumberEdit::TVNTRNumberEdit(QWidget *parent) : QSpinBox(parent)
{
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

void TVNTRNumberEdit::SetMaxDigits(int digits)
{
    lineEdit()->setMaxLength(digits > 0 ? digits : 32767);
}

int TVNTRNumberEdit::Settle(const QString &text, int minimum, int maximum)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    double value = trimmed.toInt(&ok);
    if (!ok)
        value = trimmed.toDouble(&ok);
    if (!ok)
        value = QLocale::system().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return minimum;
    value = std::trunc(value);
    if (value < minimum)
        return minimum;
    if (value > maximum)
        return maximum;
    return int(value);
}

QValidator::State TVNTRNumberEdit::validate(QString &input, int &pos) const
{
    // Anything may be typed; only a whole number within the range counts as a value.
    Q_UNUSED(pos);
    bool ok = false;
    const int value = input.trimmed().toInt(&ok);
    return ok && value >= minimum() && value <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
}

void TVNTRNumberEdit::fixup(QString &input) const
{
    input = QString::number(Settle(input, minimum(), maximum()));
}

// ---- The dialog ----

TAddReminderDlg::TAddReminderDlg(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TAddReminderDlg>()), workingCopy_(std::make_unique<TReminder>())
{
    ui->setupUi(this);
    ZTApplyMessageFont(this, QStringLiteral("Tahoma"));
    setFixedSize(size());
    ZTInstallFormKeys(this, HelpContext);

    ui->imgMessage->setPixmap(style()->standardIcon(QStyle::SP_FileDialogContentsView, nullptr, this).pixmap(16, 16));
    ui->imgSchedule->setPixmap(style()->standardIcon(QStyle::SP_FileDialogDetailedView, nullptr, this).pixmap(16, 16));
    ui->imgActions->setPixmap(style()->standardIcon(QStyle::SP_MediaPlay, nullptr, this).pixmap(16, 16));

    // Each section head's line starts where its caption ends, whatever the face.
    for (const auto &[caption, line] : {std::pair{ui->lblReminderMessage, ui->bLine1}, std::pair{ui->lblSchedule, ui->bLine2},
                                        std::pair{ui->lblActions, ui->bLine3}}) {
        caption->resize(caption->sizeHint().width(), caption->height());
        const int left = caption->geometry().right() + 4;
        line->setGeometry(left, line->y(), width() - 8 - left, line->height());
    }

    ui->txtDate->setDisplayFormat(ShortDateFormat());
    ApplyPickerColours(ui->txtDate);
    ui->lbTimes->raise();
    ui->lbTimes->installEventFilter(this);

    ui->seDayNumber->SetMaxDigits(3);
    for (TVNTRNumberEdit *field : {ui->seWeekNumber, ui->seMonthDay, ui->seMonthNumber, ui->seYearDay})
        field->SetMaxDigits(2);

    TZTFileDialogOptions &sound = ui->txtSoundLocation->DialogOptions();
    sound.Kind = TZTFileDialogOptions::Open;
    sound.Title = QStringLiteral("Browse for Reminder Sound...");
    sound.Filter = QStringLiteral("WAV files (*.wav)|*.wav");
    sound.DefaultExt = QStringLiteral("wav");
    sound.PathMustExist = true;
    sound.FileMustExist = true;
    ui->txtSoundLocation->SetAccessibleCaption(QStringLiteral("Sound location"));
    TZTFileDialogOptions &program = ui->txtProgramLocation->DialogOptions();
    program.Kind = TZTFileDialogOptions::Open;
    program.Title = QStringLiteral("Browse Programs...");
    program.Filter = QStringLiteral("Programs (*.exe)|*.exe|All Files (*.*)|*.*");
    program.DefaultExt = QStringLiteral("exe");
    ui->txtProgramLocation->SetAccessibleCaption(QStringLiteral("Program location"));

    // The buttons run the dialog's actions and follow their enabling.
    const std::array<std::pair<QAbstractButton *, QAction *>, 3> bindings = {
        {{ui->cmdOK, ui->actOK}, {ui->cmdCancel, ui->actCancel}, {ui->cmdAdvanced, ui->actAdvanced}}};
    for (const auto &[button, action] : bindings) {
        connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
        connect(action, &QAction::changed, button, [button, action] { button->setEnabled(action->isEnabled()); });
    }
    connect(ui->actOK, &QAction::triggered, this, &TAddReminderDlg::actOKExecute);
    connect(ui->actCancel, &QAction::triggered, this, &TAddReminderDlg::actCancelExecute);
    connect(ui->actAdvanced, &QAction::triggered, this, &TAddReminderDlg::actAdvancedExecute);
    connect(ui->cbInterval, &QComboBox::currentIndexChanged, this, &TAddReminderDlg::cbIntervalChange);
    connect(ui->radDayEvery, &QRadioButton::clicked, this, &TAddReminderDlg::radDayClick);
    connect(ui->radDayWeekdays, &QRadioButton::clicked, this, &TAddReminderDlg::radDayClick);
    connect(ui->cmdCombo, &QToolButton::clicked, this, &TAddReminderDlg::cmdComboClick);
    connect(ui->lbTimes, &QListWidget::itemClicked, this, &TAddReminderDlg::lbTimesClick);
    connect(ui->txtMessage, &QPlainTextEdit::textChanged, this, &TAddReminderDlg::txtMessageChange);

    // The OK rule follows every change of the input it looks at.
    connect(ui->txtDate, &QDateEdit::dateChanged, this, &TAddReminderDlg::UpdateActions);
    connect(ui->txtTime, &QTimeEdit::timeChanged, this, &TAddReminderDlg::UpdateActions);
    for (QAbstractSpinBox *picker : {static_cast<QAbstractSpinBox *>(ui->txtDate), static_cast<QAbstractSpinBox *>(ui->txtTime)})
        if (auto *edit = picker->findChild<QLineEdit *>())
            connect(edit, &QLineEdit::textChanged, this, &TAddReminderDlg::UpdateActions);
    UpdateActions();
}

TAddReminderDlg::~TAddReminderDlg() = default;

QString TAddReminderDlg::RecurrenceDescription(int interval)
{
    switch (interval) {
    case ruDaily:
        return QStringLiteral("Daily reminder");
    case ruWeekly:
        return QStringLiteral("Weekly reminder");
    case ruMonthly:
        return QStringLiteral("Montly reminder");
    case ruYearly:
        return QStringLiteral("Yearly reminder");
    default:
        return QStringLiteral("One time reminder");
    }
}

// ---- Set-up ----

void TAddReminderDlg::FillLists()
{
    QStringList items;
    FillTimeSlots(items);
    ui->lbTimes->clear();
    ui->lbTimes->addItems(items);
    ui->lbTimes->hide();
    FillIntervals(items);
    {
        const QSignalBlocker block(ui->cbInterval);
        ui->cbInterval->clear();
        ui->cbInterval->addItems(items);
    }
    FillMonths(items);
    ui->cbYearMonth->clear();
    ui->cbYearMonth->addItems(items);
    ui->txtTime->setDisplayFormat(TimePickerQtFormat());
}

void TAddReminderDlg::SetPanelDefaults(TDateTime date)
{
    int year = 0, month = 0, day = 0;
    DecodeDate(date, year, month, day);
    ui->radDayEvery->setChecked(true);
    ui->seDayNumber->setValue(1);
    ui->seWeekNumber->setValue(1);
    QString days = QStringLiteral("0000000");
    SetWeekday(IsoWeekday(date), true, days);
    TextToWeekdays(days);
    ui->seMonthDay->setValue(day);
    ui->seMonthNumber->setValue(1);
    ui->cbYearMonth->setCurrentIndex(month - 1);
    ui->seYearDay->setValue(day);
}

void TAddReminderDlg::SetUpAdd(std::optional<TDateTime> time, TDateTime date)
{
    confirmed_ = false;
    setWindowTitle(kAddCaption);
    FillLists();

    ui->txtDate->setDate(DateTimeToQDate(DayNumber(date) != 0 ? date : ZTNow()));

    defaultTimeText_.clear();
    if (time) {
        ui->txtTime->setTime(DateTimeToQTime(TimeOf(*time)));
    } else {
        // The current time, seconds kept, moved on to the next whole or half hour.
        const QDateTime current = ZTNowDateTime();
        const QTime now = current.time();
        const QTime proposed = now.addSecs(60 * ((30 - now.minute() % 30) % 30));
        defaultTimeText_ = proposed.toString(QStringLiteral("hh:mm"));
        ui->txtTime->setTime(proposed);
        // Past 23:30 the next half hour is midnight: of tomorrow, when adding for today (today's
        // midnight has passed, and OK would refuse it).
        if (proposed < now && ui->txtDate->date() <= current.date())
            ui->txtDate->setDate(current.date().addDays(1));
    }

    ui->txtMessage->clear();
    ui->chkPlaySound->setChecked(true);
    ui->chkRepeatSound->setChecked(false);
    ui->txtSoundLocation->SetFileName(QString());
    ui->chkRunProgram->setChecked(false);
    ui->txtProgramLocation->SetFileName(QString());

    ui->cbInterval->setEnabled(true);
    ui->cbInterval->setCurrentIndex(kOnce);
    cbIntervalChange(kOnce);

    const TDateTime shown = QDateToDateTime(ui->txtDate->date());
    SetPanelDefaults(shown);
    rangeStart_ = shown;
    rangeNoEnd_ = true;
    rangeEndBy_ = shown;
    radDayClick();
    ui->txtMessage->setFocus(Qt::OtherFocusReason);
    UpdateActions();
}

void TAddReminderDlg::SetUpEdit(const TReminder &r, bool intervalChangeable)
{
    confirmed_ = false;
    setWindowTitle(kEditCaption);
    FillLists();
    defaultTimeText_.clear();

    ui->txtDate->setDate(DateTimeToQDate(r.Date));
    ui->txtTime->setTime(DateTimeToQTime(TimeOf(r.Time)));
    ui->txtMessage->setPlainText(r.ReminderMessage);
    ui->chkPlaySound->setChecked(r.PlaySound);
    ui->chkRepeatSound->setChecked(r.RepeatSound);
    ui->txtSoundLocation->SetFileName(r.SoundFile);
    ui->chkRunProgram->setChecked(r.RunProgram);
    ui->txtProgramLocation->SetFileName(r.ProgramLocation);

    const int interval = r.Recurring ? RecurrenceUnitToInt(r.RecurrenceUnit) : kOnce;
    ui->cbInterval->setCurrentIndex(interval);
    cbIntervalChange(interval);
    ui->cbInterval->setEnabled(intervalChangeable);

    const TDateTime shown = QDateToDateTime(ui->txtDate->date());
    SetPanelDefaults(shown);
    TextToWeekdays(QString());
    switch (r.RecurrenceUnit) {
    case ruDaily:
        if (r.RecurrenceDailyType == dtEveryNDays) {
            ui->radDayEvery->setChecked(true);
            ui->seDayNumber->setValue(r.RecurrenceDailyEvery);
        } else {
            ui->radDayWeekdays->setChecked(true);
        }
        break;
    case ruWeekly:
        ui->seWeekNumber->setValue(r.RecurrenceWeeklyEvery);
        TextToWeekdays(r.RecurrenceWeeklyDays);
        break;
    case ruMonthly:
        ui->seMonthDay->setValue(r.RecurrenceMonthlyDay);
        ui->seMonthNumber->setValue(r.RecurrenceMonthlyEvery);
        break;
    case ruYearly:
        // A month outside 1 .. 12 (an edited file) shows as the nearest one.
        ui->cbYearMonth->setCurrentIndex(std::clamp(r.RecurrenceYearlyMonth, 1, 12) - 1);
        ui->seYearDay->setValue(r.RecurrenceYearlyDay);
        break;
    default:
        break;
    }
    radDayClick();

    rangeStart_ = r.RecurrenceStart;
    rangeNoEnd_ = r.RecurrenceNoEnd;
    rangeEndBy_ = r.RecurrenceEndBy;
    ui->txtMessage->setFocus(Qt::OtherFocusReason);
    ui->txtMessage->selectAll();
    UpdateActions();
}

void TAddReminderDlg::SetWorkingCopy(const TReminder &reminder)
{
    auto copy = std::make_unique<TReminder>();
    copy->Assign(reminder);
    workingCopy_ = std::move(copy);
}

TReminder &TAddReminderDlg::WorkingCopy()
{
    return *workingCopy_;
}

// ---- State ----

int TAddReminderDlg::Interval() const
{
    const int index = ui->cbInterval->currentIndex();
    return index >= ruNone && index <= ruYearly ? index : kOnce;
}

std::array<QCheckBox *, 7> TAddReminderDlg::WeekdayBoxes() const
{
    return {ui->chkWeekDay1, ui->chkWeekDay2, ui->chkWeekDay3, ui->chkWeekDay4,
            ui->chkWeekDay5, ui->chkWeekDay6, ui->chkWeekDay7};
}

QString TAddReminderDlg::WeekdaysToText() const
{
    QString days;
    for (const QCheckBox *box : WeekdayBoxes())
        days += box->isChecked() ? QLatin1Char('1') : QLatin1Char('0');
    return days;
}

void TAddReminderDlg::TextToWeekdays(const QString &days)
{
    const std::array<QCheckBox *, 7> boxes = WeekdayBoxes();
    for (int i = 0; i < 7; ++i)
        boxes[i]->setChecked(IsWeekdaySet(i + 1, days));
}

TDateTime TAddReminderDlg::ProposedEndDate() const
{
    if (!rangeNoEnd_)
        return rangeEndBy_;
    const QDate start = DateTimeToQDate(rangeStart_);
    switch (Interval()) {
    case ruMonthly:
        return QDateToDateTime(start.addMonths(1));
    case ruYearly:
        return QDateToDateTime(start.addYears(1));
    default:
        return QDateToDateTime(start.addDays(7));
    }
}

bool TAddReminderDlg::CanConfirm() const
{
    const QDate date = ui->txtDate->date();
    return !ui->txtMessage->toPlainText().isEmpty() && ui->txtDate->hasAcceptableInput() && date.isValid() && date.year() >= 1
           && date.year() <= 9999 && ui->txtTime->hasAcceptableInput() && ui->txtTime->time().isValid();
}

void TAddReminderDlg::UpdateActions()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] {
        ui->actOK->setEnabled(CanConfirm());
        ui->actAdvanced->setEnabled(Interval() != kOnce);
    });
}

// ---- Pressing the buttons ----

void TAddReminderDlg::PressOK()
{
    ui->actOK->trigger();
}

void TAddReminderDlg::PressCancel()
{
    ui->actCancel->trigger();
}

void TAddReminderDlg::PressAdvanced()
{
    ui->actAdvanced->trigger();
}

// ---- Handlers ----

void TAddReminderDlg::cbIntervalChange(int index)
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] {
        const int interval = index >= ruNone && index <= ruYearly ? index : kOnce;
        const std::array<QWidget *, 5> panels = {nullptr, ui->pDaily, ui->pWeekly, ui->pMonthly, ui->pYearly};
        for (QWidget *panel : panels)
            if (panel)
                panel->hide();
        ui->lblRecurrenceDescription->setText(RecurrenceDescription(interval));
        if (panels[interval])
            panels[interval]->show();
        // A series starts at its range start, edited through "Advanced...".
        ui->txtDate->setEnabled(interval == kOnce);
        ui->actAdvanced->setEnabled(interval != kOnce);
    });
}

void TAddReminderDlg::radDayClick()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] { ui->seDayNumber->setEnabled(ui->radDayEvery->isChecked()); });
}

void TAddReminderDlg::cmdComboClick()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] {
        if (!ui->lbTimes->isHidden()) {
            ui->lbTimes->hide();
            return;
        }
        if (ui->lbTimes->selectedItems().isEmpty() && !defaultTimeText_.isEmpty()) {
            // The slot of the proposed time, found by its time rather than by its text, so the
            // locale's way of writing times does not matter.
            const QTime proposed = QTime::fromString(defaultTimeText_, QStringLiteral("hh:mm"));
            for (int i = 0; i < ui->lbTimes->count(); ++i)
                if (proposed.isValid() && DateTimeToQTime(SlotToTime(i)) == QTime(proposed.hour(), proposed.minute())) {
                    ui->lbTimes->setCurrentRow(i);
                    ui->lbTimes->scrollToItem(ui->lbTimes->item(i), QAbstractItemView::PositionAtCenter);
                    break;
                }
        }
        ui->lbTimes->raise();
        ui->lbTimes->show();
        ui->lbTimes->setFocus(Qt::OtherFocusReason);
    });
}

void TAddReminderDlg::lbTimesClick()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] {
        const int row = ui->lbTimes->currentRow();
        if (row < 0)
            return;
        ui->txtTime->setTime(DateTimeToQTime(SlotToTime(row)));
        ui->lbTimes->hide();
        ui->txtTime->setFocus(Qt::OtherFocusReason);
    });
}

void TAddReminderDlg::txtMessageChange()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] {
        // The message holds at most 255 characters, typed or pasted.
        const QString text = ui->txtMessage->toPlainText();
        if (text.size() > MaxMessageLength) {
            QTextCursor cursor = ui->txtMessage->textCursor();
            const int position = cursor.position();
            const QSignalBlocker block(ui->txtMessage);
            ui->txtMessage->setPlainText(text.left(MaxMessageLength));
            cursor = ui->txtMessage->textCursor();
            cursor.setPosition(std::min(position, MaxMessageLength));
            ui->txtMessage->setTextCursor(cursor);
        }
        UpdateActions();
    });
}

void TAddReminderDlg::actAdvancedExecute()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] {
        TDateTime start = rangeStart_;
        bool noEnd = rangeNoEnd_;
        TDateTime end = ProposedEndDate();
        if (ShowRecurrenceRangeDialog(this, start, noEnd, end)) {
            rangeStart_ = start;
            rangeNoEnd_ = noEnd;
            rangeEndBy_ = end;
        }
    });
}

void TAddReminderDlg::actCancelExecute()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] { reject(); });
}

void TAddReminderDlg::WriteWorkingCopy()
{
    TReminder &w = *workingCopy_;
    const int interval = Interval();
    const bool recurring = interval != kOnce;
    w.Time = QTimeToDateTime(ui->txtTime->time());
    w.ReminderMessage = ui->txtMessage->toPlainText();
    w.PlaySound = ui->chkPlaySound->isChecked();
    w.RepeatSound = ui->chkRepeatSound->isChecked();
    w.RunProgram = ui->chkRunProgram->isChecked();
    w.SoundFile = ui->txtSoundLocation->FileName();
    w.ProgramLocation = ui->txtProgramLocation->FileName();
    w.Recurring = recurring;
    w.RecurrenceUnit = IntToRecurrenceUnit(interval);
    const bool everyNDays = ui->radDayEvery->isChecked();
    w.RecurrenceDailyType = interval == ruDaily ? (everyNDays ? dtEveryNDays : dtEveryWeekday) : dtNone;
    w.RecurrenceDailyEvery = interval == ruDaily && everyNDays ? ui->seDayNumber->value() : 1;
    w.RecurrenceWeeklyEvery = interval == ruWeekly ? ui->seWeekNumber->value() : 1;
    w.RecurrenceWeeklyDays = interval == ruWeekly ? WeekdaysToText() : QStringLiteral("0000000");
    w.RecurrenceMonthlyDay = interval == ruMonthly ? ui->seMonthDay->value() : 1;
    w.RecurrenceMonthlyEvery = interval == ruMonthly ? ui->seMonthNumber->value() : 1;
    w.RecurrenceYearlyMonth = interval == ruYearly ? ui->cbYearMonth->currentIndex() + 1 : 1;
    w.RecurrenceYearlyDay = interval == ruYearly ? ui->seYearDay->value() : 1;
    w.Date = QDateToDateTime(ui->txtDate->date());
    w.RecurrenceStart = recurring ? rangeStart_ : w.Date;
    w.RecurrenceNoEnd = recurring ? rangeNoEnd_ : true;
    w.RecurrenceEndBy = recurring ? rangeEndBy_ : w.Date;
    w.Exclusion = false;
    w.Active = true;
}

void TAddReminderDlg::actOKExecute()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] {
        // A number still being typed counts as it will when its field loses the focus.
        for (TVNTRNumberEdit *field : {ui->seDayNumber, ui->seWeekNumber, ui->seMonthDay, ui->seMonthNumber, ui->seYearDay})
            field->interpretText();
        const int interval = Interval();

        const QString sound = ui->txtSoundLocation->FileName();
        if (!sound.isEmpty()) {
            if (!ZTFileExistsSafe(sound))
                Refuse(kSoundMissing);
            if (ZTUpperCase(ZTExtractFileExt(sound)) != QLatin1String(".WAV"))
                Refuse(kSoundNotWav);
        }
        if (ui->chkRunProgram->isChecked() && ui->txtProgramLocation->FileName().isEmpty())
            Refuse(kNoProgram);
        if (interval == ruWeekly && WeekdaysToText() == QLatin1String("0000000"))
            Refuse(kNoWeekday);
        if (interval == ruMonthly && ui->seMonthDay->value() > 28) {
            const TZTApplication *app = ZTApplication.get();
            const std::uint8_t answer =
                ZTMessage(QString(kShortMonths).replace(QLatin1String("%d"), QString::number(ui->seMonthDay->value())),
                          app ? app->Title : QString(), ZTMsg::mtInformation, ZTMsg::bsYesNo, 1,
                          app ? app->LanguageId : ZTMsg::langEnglish, app ? app->FontName : QString());
            if (answer != ZTMsg::mrYes)
                throw EZTException(QString(), QString(), EZTException::Information);
        }

        WriteWorkingCopy();

        // The exclusions of an edited series count; a program without a store (a test
        // harness) asks an empty one with the work week of the preferences.
        std::unique_ptr<TReminders> emptyStore;
        TReminders *store = Reminders.get();
        if (!store) {
            emptyStore = std::make_unique<TReminders>(QString());
            emptyStore->WorkDaysSource = [] { return Options ? Options->WorkDays : QStringLiteral("1111100"); };
            store = emptyStore.get();
        }
        const TReminder &w = *workingCopy_;
        if (DayNumber(w.NextOccurrence(*store)) == 0)
            Refuse(QString(w.Recurring ? kSeriesPassed : kOneTimePassed)
                       .replace(QLatin1String("%s"), ZTFirstLine(w.ReminderMessage)));

        confirmed_ = true;
        accept();
    });
}

// ---- Keys of the time list ----

bool TAddReminderDlg::eventFilter(QObject *watched, QEvent *event)
{
    // Enter in the time list picks the time instead of pressing OK.
    if (watched == ui->lbTimes && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            lbTimesClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---- The entry operations ----

bool TAddReminderDlg::Run(QWidget *owner, TReminder &reminder, const std::function<void(TAddReminderDlg &)> &setUp)
{
    // Cleared however the operation ends.
    struct TOpenFlag {
        TOpenFlag() { Set(true); }
        ~TOpenFlag() { Set(false); }
        static void Set(bool open)
        {
            ReminderDialogOpen = open;
            Q_EMIT ReminderDialogNotifier().OpenChanged(open);
        }
    } openFlag;

    QPointer<TAddReminderDlg> dialog = new TAddReminderDlg(owner);
    struct TRelease {
        QPointer<TAddReminderDlg> &dialog;
        ~TRelease() { delete dialog.data(); }
    } release{dialog};

    setUp(*dialog);
    dialog->SetWorkingCopy(*reminder.Clone());
    if (const TAddReminderAnswerer &answerer = Answerer()) {
        answerer(*dialog);
    } else {
        ZTCentreOnScreen(dialog);
        dialog->exec();
    }
    if (!dialog || !dialog->Confirmed())
        return false;
    reminder.Assign(dialog->WorkingCopy());
    return true;
}

bool ShowAddReminderDialog(QWidget *owner, TReminder &reminder, std::optional<TDateTime> time, TDateTime date)
{
    return TAddReminderDlg::Run(owner, reminder, [&](TAddReminderDlg &dialog) { dialog.SetUpAdd(time, date); });
}

bool ShowEditReminderDialog(QWidget *owner, TReminder &reminder, bool intervalChangeable)
{
    return TAddReminderDlg::Run(owner, reminder,
                                [&](TAddReminderDlg &dialog) { dialog.SetUpEdit(reminder, intervalChangeable); });
}
