#include "clsReminders.h"

#include "ZTClock.h"
#include "ZTExceptions.h"
#include "uFunctions.h"

#include <QUuid>

#include <algorithm>

// ---- Enumerations --------------------------------------------------------------------------

TRecurrenceUnit IntToRecurrenceUnit(int code)
{
    return (code >= 1 && code <= 4) ? TRecurrenceUnit(code) : ruNone;
}

int RecurrenceUnitToInt(TRecurrenceUnit unit)
{
    const int code = int(unit);
    return (code >= 1 && code <= 4) ? code : 0;
}

TRecurrenceDailyType IntToRecurrenceDailyType(int code)
{
    return (code == 1 || code == 2) ? TRecurrenceDailyType(code) : dtNone;
}

int RecurrenceDailyTypeToInt(TRecurrenceDailyType type)
{
    const int code = int(type);
    return (code == 1 || code == 2) ? code : 0;
}

// ---- TReminder ---------------------------------------------------------------------------

QString TReminder::NewId()
{
    const QUuid id = QUuid::createUuid();
    if (id.isNull())
        throw EZTException(QStringLiteral("Unable to create a new reminder object."),
                           QStringLiteral("Function call CreateGUID raised an error."), 1);
    return id.toString(QUuid::WithBraces).toUpper();
}

TReminder::Ptr TReminder::Create()
{
    return ZTRaising(TZTRaise::PassThrough, QStringLiteral("Unable to create a new reminder object."), [] {
        auto reminder = std::make_shared<TReminder>();
        reminder->Id = NewId();
        return reminder;
    });
}

void TReminder::Assign(const TReminder &source)
{
    const TDateTime occurrenceDate = OccurrenceDate;
    const TDateTime occurrenceTime = OccurrenceTime;
    *this = source;
    OccurrenceDate = occurrenceDate;
    OccurrenceTime = occurrenceTime;
}

TReminder::Ptr TReminder::Clone() const
{
    auto copy = std::make_shared<TReminder>(*this);
    copy->OccurrenceDate = 0;
    copy->OccurrenceTime = 0;
    return copy;
}

TReminder::Ptr TReminder::MakeOneTimeCopy() const
{
    auto copy = Create();
    copy->Date = Date;
    copy->Time = Time;
    copy->ReminderMessage = ReminderMessage;
    copy->PlaySound = PlaySound;
    copy->RepeatSound = RepeatSound;
    copy->SoundFile = SoundFile;
    copy->RunProgram = RunProgram;
    copy->ProgramLocation = ProgramLocation;
    copy->Recurring = false;
    copy->RecurrenceUnit = ruNone;
    copy->RecurrenceDailyType = dtNone;
    copy->RecurrenceWeeklyDays = QStringLiteral("0000000");
    copy->RecurrenceNoEnd = true;
    copy->Exclusion = false;
    copy->Active = true;
    return copy;
}

TReminder::Ptr TReminder::MakeExclusion() const
{
    auto exclusion = std::make_shared<TReminder>();
    exclusion->Id = Id;
    exclusion->Date = OccurrenceDate;
    exclusion->Time = OccurrenceTime;
    exclusion->ReminderMessage = ReminderMessage;
    exclusion->PlaySound = PlaySound;
    exclusion->RepeatSound = RepeatSound;
    exclusion->SoundFile = SoundFile;
    exclusion->RunProgram = RunProgram;
    exclusion->ProgramLocation = ProgramLocation;
    exclusion->Recurring = false;
    exclusion->RecurrenceUnit = ruNone;
    exclusion->RecurrenceDailyType = dtNone;
    exclusion->RecurrenceWeeklyDays = QStringLiteral("0000000");
    exclusion->RecurrenceNoEnd = true;
    exclusion->Exclusion = true;
    exclusion->Active = true;
    return exclusion;
}

QString TReminder::ListCaption(TDateTime date, TDateTime time)
{
    return ShortDateText(date) + QLatin1Char(' ') + ShortTimeText(time);
}

QString TReminder::TimeCaption(TDateTime time)
{
    return ShortTimeText(time);
}

// ---- TReminders ------------------------------------------------------------------------------

namespace {

// Cuts a text to a column width counted in characters (code points), never splitting one.
QString CutToWidth(const QString &s, int width)
{
    if (s.size() <= width)
        return s;
    int units = 0;
    int chars = 0;
    while (units < s.size() && chars < width) {
        units += (s.at(units).isHighSurrogate() && units + 1 < s.size() && s.at(units + 1).isLowSurrogate()) ? 2 : 1;
        ++chars;
    }
    return s.left(units);
}

constexpr int IdWidth = 255;
constexpr int TextWidth = 255;
constexpr int WeekdaysWidth = 7;

void CutTo(QString &text, int width)
{
    if (text.size() > width)
        text = CutToWidth(text, width);
}

// What a row of the main table keeps of a reminder: every stored field, the texts cut to their
// widths, recurrence codes that exist, no occurrence.
void KeepAsMainRow(TReminder &row)
{
    row.OccurrenceDate = 0;
    row.OccurrenceTime = 0;
    row.RecurrenceUnit = IntToRecurrenceUnit(RecurrenceUnitToInt(row.RecurrenceUnit));
    row.RecurrenceDailyType = IntToRecurrenceDailyType(RecurrenceDailyTypeToInt(row.RecurrenceDailyType));
    CutTo(row.Id, IdWidth);
    CutTo(row.SoundFile, TextWidth);
    CutTo(row.ProgramLocation, TextWidth);
    CutTo(row.ReminderMessage, TextWidth);
    CutTo(row.RecurrenceWeeklyDays, WeekdaysWidth);
}

// What an exclusion row keeps: the occurrence's moment (Date, Time), the series' Id, texts,
// sound and program flags and its own Active; no rule.
void KeepAsExclusionRow(TReminder &row)
{
    CutTo(row.Id, IdWidth);
    CutTo(row.ReminderMessage, TextWidth);
    CutTo(row.SoundFile, TextWidth);
    CutTo(row.ProgramLocation, TextWidth);
    row.Recurring = false;
    row.RecurrenceNoEnd = false;
    row.Exclusion = true;
    row.RecurrenceUnit = ruNone;
    row.RecurrenceDailyType = dtNone;
    row.RecurrenceDailyEvery = 0;
    row.RecurrenceWeeklyEvery = 0;
    row.RecurrenceMonthlyDay = 0;
    row.RecurrenceMonthlyEvery = 0;
    row.RecurrenceYearlyMonth = 0;
    row.RecurrenceYearlyDay = 0;
    row.RecurrenceStart = 0;
    row.RecurrenceEndBy = 0;
    row.OccurrenceDate = 0;
    row.OccurrenceTime = 0;
    if (row.RecurrenceWeeklyDays != QLatin1String("0000000"))
        row.RecurrenceWeeklyDays = QStringLiteral("0000000");
}

EZTException NotFound(const QString &id)
{
    return EZTException(QStringLiteral("Reminder not found in database."),
                        QStringLiteral("There is no reminder with id '%1' in the database file.").arg(id), 1);
}

} // namespace

TReminders::TReminders(const QString &fileName) : fileName_(fileName) {}

TReminders::~TReminders() = default;

QString TReminders::WorkDays() const
{
    return WorkDaysSource ? WorkDaysSource() : QStringLiteral("1111100");
}

void TReminders::StoreRow(TReminder &row, const TReminder &source) const
{
    row = source;
    KeepAsMainRow(row);
}

std::size_t TReminders::FindById(const TReminder &reminder) const
{
    for (std::size_t i = 0; i < mainTable_.size(); ++i)
        if (mainTable_[i].Id == reminder.Id)
            return i;
    throw NotFound(reminder.Id);
}

void TReminders::InvalidateExclusionIndex()
{
    exclusionIndexValid_ = false;
}

void TReminders::BuildExclusionIndex() const
{
    exclusionIndex_.clear();
    for (const TReminder &row : exclusionsTable_)
        exclusionIndex_[row.Id].push_back(&row);
    exclusionIndexValid_ = true;
}

const std::vector<const TReminder *> &TReminders::ExclusionsOf(const QString &id) const
{
    static const std::vector<const TReminder *> none;
    if (!exclusionIndexValid_)
        BuildExclusionIndex();
    const auto it = exclusionIndex_.constFind(id);
    return it == exclusionIndex_.constEnd() ? none : it.value();
}

void TReminders::Add(const TReminder &reminder)
{
    TReminder row;
    StoreRow(row, reminder);
    row.Exclusion = false;
    mainTable_.push_back(std::move(row));
    ++changeCount_;
    modified_ = true;
}

void TReminders::AddExclusion(const TReminder &reminder)
{
    TReminder row = reminder;
    KeepAsExclusionRow(row);
    exclusionsTable_.push_back(std::move(row));
    InvalidateExclusionIndex();
    ++changeCount_;
    modified_ = true;
}

void TReminders::AppendLoadedRow(const TReminder &parsed)
{
    // Straight into its table, as Add or AddExclusion would keep it; a load adds tens of
    // thousands of rows and does their bookkeeping once.
    if (parsed.Exclusion)
        KeepAsExclusionRow(exclusionsTable_.emplace_back(parsed));
    else
        KeepAsMainRow(mainTable_.emplace_back(parsed));
}

void TReminders::Update(const TReminder &reminder)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::size_t i = FindById(reminder);
    StoreRow(mainTable_[i], reminder);
    ++changeCount_;
    modified_ = true;
}

void TReminders::UpdateSeries(const TReminder &reminder)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::size_t i = FindById(reminder);
    StoreRow(mainTable_[i], reminder);
    ++changeCount_;
    modified_ = true;
    const TReminder &series = mainTable_[i];
    for (TReminder &row : exclusionsTable_) {
        if (row.Id != series.Id)
            continue;
        row.Time = series.Time;
        row.ReminderMessage = series.ReminderMessage;
        row.PlaySound = series.PlaySound;
        row.RepeatSound = series.RepeatSound;
        row.SoundFile = series.SoundFile;
        row.RunProgram = series.RunProgram;
        row.ProgramLocation = series.ProgramLocation;
    }
}

void TReminders::Delete(const TReminder &reminder)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::size_t i = FindById(reminder);
    mainTable_.erase(mainTable_.begin() + std::ptrdiff_t(i));
    ++changeCount_;
    modified_ = true;
}

void TReminders::DeleteSeries(const TReminder &reminder)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::size_t i = FindById(reminder);
    const QString id = mainTable_[i].Id;
    mainTable_.erase(mainTable_.begin() + std::ptrdiff_t(i));
    exclusionsTable_.erase(
        std::remove_if(exclusionsTable_.begin(), exclusionsTable_.end(), [&](const TReminder &row) { return row.Id == id; }),
        exclusionsTable_.end());
    InvalidateExclusionIndex();
    ++changeCount_;
    modified_ = true;
}

void TReminders::Refresh(TReminder &reminder)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::size_t i = FindById(reminder);
    ReadMainRow(int(i), reminder);
}

void TReminders::Clear()
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    mainTable_.clear();
    exclusionsTable_.clear();
    InvalidateExclusionIndex();
    ++changeCount_;
    modified_ = true;
}

void TReminders::ReadMainRow(int row, TReminder &reminder) const
{
    reminder.Assign(mainTable_.at(std::size_t(row)));
}

void TReminders::ReadExclusionRow(int row, TReminder &reminder) const
{
    reminder.Assign(exclusionsTable_.at(std::size_t(row)));
}

void TReminders::GetAll(TReminderList &list)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    for (const TReminder &row : mainTable_)
        list.Add(row.Clone());
}

bool TReminders::CollectObsolete(TReminderList &list)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const TDateTime now = ZTNow();
    bool result = false;
    for (const TReminder &row : mainTable_) {
        if (row.Recurring) {
            if (ActivateExclusions(row))
                result = true;
        } else if (MinuteBefore(row.Date, row.Time, now, now)) {
            list.Add(row.Clone());
            result = true;
        }
    }
    return result;
}

bool TReminders::IsExcluded(const TReminder &reminder, bool activeOnly, TDateTime time, TDateTime date)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::int64_t day = DayNumber(date);
    const int minute = MinuteOfDay(time);
    for (const TReminder *row : ExclusionsOf(reminder.Id)) {
        if (DayNumber(row->Date) == day && MinuteOfDay(row->Time) == minute && (!activeOnly || row->Active))
            return true;
    }
    return false;
}

bool TReminders::ActivateExclusions(const TReminder &reminder)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    bool found = false;
    for (TReminder &row : exclusionsTable_) {
        if (row.Id == reminder.Id) {
            ++changeCount_;
            modified_ = modified_ || !row.Active;
            row.Active = true;
            found = true;
        }
    }
    return found;
}

void TReminders::SetMark(int calendar, TDateTime rangeStart, TDateTime rangeEnd, TDateTime day)
{
    if (calendar < 1 || calendar > 2)
        return;
    if (!DayOnOrAfter(day, rangeStart) || !DayOnOrBefore(day, rangeEnd))
        return;
    const int index = DaysBetween(rangeStart, day) + 1;
    if (index >= 1 && index <= MarkCount)
        marks_[calendar - 1][index - 1] = true;
}

void TReminders::BuildMonthMarks(int calendar, TDateTime rangeStart, TDateTime rangeEnd)
{
    if (calendar < 1 || calendar > 2)
        return;
    markRangeStart_[calendar - 1] = rangeStart;
    markRangeEnd_[calendar - 1] = rangeEnd;
    std::fill(std::begin(marks_[calendar - 1]), std::end(marks_[calendar - 1]), false);

    std::lock_guard<std::recursive_mutex> guard(lock_);
    for (const TReminder &row : mainTable_) {
        if (row.Recurring)
            MarkSeries(calendar, row, rangeStart, rangeEnd);
        else
            SetMark(calendar, rangeStart, rangeEnd, row.Date);
    }
}

bool TReminders::HasRemindersOn(int calendar, TDateTime date) const
{
    if (date == 0 || calendar < 1 || calendar > 2)
        return false;
    const TDateTime s = markRangeStart_[calendar - 1];
    const TDateTime e = markRangeEnd_[calendar - 1];
    if (!DayOnOrAfter(date, s) || !DayOnOrBefore(date, e))
        return false;
    return Mark(calendar, DaysBetween(s, date) + 1);
}

bool TReminders::Mark(int calendar, int index) const
{
    if (calendar < 1 || calendar > 2 || index < 1 || index > MarkCount)
        return false;
    return marks_[calendar - 1][index - 1];
}
