// The recurrence engine: which days a series falls on, combined with the store's exclusion
// records, for the due scan, the next occurrence, the day view and the calendar marks.
//
// A series is never expanded from its start to answer a question about one day. Each rule is
// turned into a small arithmetic description (TSeriesRule) that jumps straight to the first
// occurrence on or after any day: daily every N by division, working days by weekday, weekly
// by 7N-day steps per weekday, monthly by month arithmetic, yearly by year. Exclusions are found
// through the store's per-series index. The catch-up listing counts a series' missed occurrences
// by the same arithmetic (occurrences in a range, less the exclusion records that fall on them)
// and finds the latest by stepping back over recorded ones, so its cost follows the number of
// exclusion records, not the years missed. Only GetDue with catch-up and CollectMissed cost in
// proportion to the occurrences they hand out.
//
// Decisions about values the rules leave open, applied alike by every operation (next
// occurrence, day view, marks and due scan):
// - A monthly or yearly day that a month lacks in a given year (31 April, 29 February in a
//   common year) falls on that month's last day.
// - A working-days series whose work week has no working day has no occurrences.
// - An interval N of 0 or less counts as 1.
// - A yearly month outside 1..12, a monthly or yearly day below 1, a weekly series without any
//   weekday set, or a unit outside 1..4 gives no occurrences. A weekday string shorter than
//   seven characters has its missing positions counted as not set. A day above 31 counts as the
//   month's last day.
// - Nothing lies after 31 December 9999, the last day a stored date can name.

#include "clsReminders.h"

#include "ZTClock.h"
#include "uFunctions.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <optional>

namespace {

using Day = std::int64_t;

constexpr int MinutesPerDay = 1440;
// Day numbers count from 30 December 1899; 1 January 1970 is day 25569.
constexpr Day UnixEpochDay = 25569;

// The last day a stored date can name: 31 December 9999.
const Day MaxDay = ZTDaysFromCivil(9999, 12, 31);

// ISO weekday index of a day number, 0 = Monday .. 6 = Sunday.
int WeekdayIndex(Day n)
{
    return ZTIsoWeekday(n) - 1;
}

// Bit w - 1 is set for every weekday w (Monday 1 .. Sunday 7) whose character is "1"; positions
// missing from a short string count as not set.
unsigned WeekdayMask(const QString &weekdays)
{
    unsigned mask = 0;
    for (int w = 1; w <= 7; ++w)
        if (IsWeekdaySet(w, weekdays))
            mask |= 1u << (w - 1);
    return mask;
}

// One series' rule in arithmetic form.
class TSeriesRule {
public:
    enum TKind { None, EveryNDays, WorkingDays, Weekly, Monthly, Yearly };

    TKind Kind = None;
    Day Start = 0;
    Day Last = 0;   // last day within the end (end date, or 31 December 9999)
    int Minute = 0; // hour and minute of the series' time
    Day Every = 1;  // N, at least 1
    unsigned Mask = 0;
    int MonthlyDay = 0;
    int YearlyMonth = 0;
    int YearlyDay = 0;
    // Monthly: index (year * 12 + month - 1) of the first month that holds an occurrence.
    Day FirstMonth = 0;

    // The first occurrence day on or after max(x, Start), ignoring the end; nullopt when the
    // rule has no occurrences at all.
    std::optional<Day> FirstOnOrAfter(Day x) const
    {
        const Day y = std::max(x, Start);
        switch (Kind) {
        case EveryNDays:
            return Start + ZTCeilDiv(y - Start, Every) * Every;
        case WorkingDays: {
            for (int i = 0; i < 7; ++i)
                if (Mask & (1u << WeekdayIndex(y + i)))
                    return y + i;
            return std::nullopt;
        }
        case Weekly: {
            const Day step = 7 * Every;
            std::optional<Day> best;
            for (int w = 0; w < 7; ++w) {
                if (!(Mask & (1u << w)))
                    continue;
                const Day base = FirstOfWeekday(w);
                const Day c = base >= y ? base : base + ZTCeilDiv(y - base, step) * step;
                if (!best || c < *best)
                    best = c;
            }
            return best;
        }
        case Monthly: {
            const TZTCivilDate cy = ZTCivilFromDays(y);
            const Day my = cy.Year * 12 + (cy.Month - 1);
            Day m = FirstMonth;
            if (my > m)
                m += ZTCeilDiv(my - m, Every) * Every;
            Day d = MonthDay(m);
            if (d < y)
                d = MonthDay(m + Every);
            return d;
        }
        case Yearly: {
            const Day year = ZTCivilFromDays(y).Year;
            const Day d = YearDay(year);
            return d >= y ? d : YearDay(year + 1);
        }
        case None:
            break;
        }
        return std::nullopt;
    }

    // The first occurrence day on or after x that lies within the end.
    std::optional<Day> NextWithinEnd(Day x) const
    {
        if (x > Last)
            return std::nullopt;
        const std::optional<Day> d = FirstOnOrAfter(x);
        // The walks advance from the day found; a day before x would never let them end.
        if (!d || *d > Last || *d < x)
            return std::nullopt;
        return d;
    }

    bool OccursOn(Day x) const
    {
        if (x < Start || x > Last)
            return false;
        const std::optional<Day> d = FirstOnOrAfter(x);
        return d && *d == x;
    }

    // Every occurrence day up to lastDay: ascending, except weekly series, whose days come
    // weekday by weekday from Monday to Sunday, each weekday's days ascending.
    void Collect(Day lastDay, std::vector<Day> &out) const
    {
        const Day last = std::min(lastDay, Last);
        if (Kind == None || Start > last)
            return;
        switch (Kind) {
        case EveryNDays:
            for (Day d = Start; d <= last; d += Every)
                out.push_back(d);
            break;
        case WorkingDays:
            if (Mask == 0)
                break;
            for (Day d = Start; d <= last; ++d)
                if (Mask & (1u << WeekdayIndex(d)))
                    out.push_back(d);
            break;
        case Weekly: {
            const Day step = 7 * Every;
            for (int w = 0; w < 7; ++w) {
                if (!(Mask & (1u << w)))
                    continue;
                for (Day d = FirstOfWeekday(w); d <= last; d += step)
                    out.push_back(d);
            }
            break;
        }
        case Monthly:
            for (Day m = FirstMonth;; m += Every) {
                const Day d = MonthDay(m);
                if (d > last)
                    break;
                out.push_back(d);
            }
            break;
        case Yearly:
            for (Day year = ZTCivilFromDays(Start).Year;; ++year) {
                const Day d = YearDay(year);
                if (d > last)
                    break;
                if (d >= Start)
                    out.push_back(d);
            }
            break;
        case None:
            break;
        }
    }

    // How many occurrence days lie from the start to x (the end not applied).
    Day CountUpTo(Day x) const
    {
        if (x < Start)
            return 0;
        switch (Kind) {
        case EveryNDays:
            return ZTFloorDiv(x - Start, Every) + 1;
        case WorkingDays: {
            // Whole weeks hold every working day once; the days left over are looked at one by one.
            const Day days = x - Start + 1;
            Day count = (days / 7) * std::popcount(Mask);
            for (Day d = Start + (days / 7) * 7; d <= x; ++d)
                count += (Mask >> WeekdayIndex(d)) & 1u;
            return count;
        }
        case Weekly: {
            Day count = 0;
            for (int w = 0; w < 7; ++w) {
                const Day first = FirstOfWeekday(w);
                if ((Mask & (1u << w)) && first <= x)
                    count += ZTFloorDiv(x - first, 7 * Every) + 1;
            }
            return count;
        }
        case Monthly:
            return MonthsUpTo(x);
        case Yearly:
            return YearsUpTo(x);
        case None:
            break;
        }
        return 0;
    }

    // The last occurrence day from the start to x (the end not applied); nullopt when none.
    std::optional<Day> LastOnOrBefore(Day x) const
    {
        if (x < Start)
            return std::nullopt;
        switch (Kind) {
        case EveryNDays:
            return Start + ZTFloorDiv(x - Start, Every) * Every;
        case WorkingDays:
            for (Day d = x; d >= Start && d > x - 7; --d)
                if (Mask & (1u << WeekdayIndex(d)))
                    return d;
            return std::nullopt;
        case Weekly: {
            std::optional<Day> best;
            for (int w = 0; w < 7; ++w) {
                const Day first = FirstOfWeekday(w);
                if (!(Mask & (1u << w)) || first > x)
                    continue;
                const Day d = first + ZTFloorDiv(x - first, 7 * Every) * 7 * Every;
                if (!best || d > *best)
                    best = d;
            }
            return best;
        }
        case Monthly: {
            const Day n = MonthsUpTo(x);
            return n > 0 ? std::optional<Day>(MonthDay(FirstMonth + (n - 1) * Every)) : std::nullopt;
        }
        case Yearly: {
            const Day n = YearsUpTo(x);
            return n > 0 ? std::optional<Day>(YearDay(FirstYear() + n - 1)) : std::nullopt;
        }
        case None:
            break;
        }
        return std::nullopt;
    }

    // Weekly: the first day of weekday w (0 = Monday) on or after the start, counted in steps of
    // 7N days from the start week.
    Day FirstOfWeekday(int w) const
    {
        const Day base = Start - WeekdayIndex(Start) + w;
        return base >= Start ? base : base + ZTCeilDiv(Start - base, 7 * Every) * 7 * Every;
    }

    // Monthly: how many occurrence months from the first one have their day on or before x.
    Day MonthsUpTo(Day x) const
    {
        const TZTCivilDate c = ZTCivilFromDays(x);
        const Day month = c.Year * 12 + (c.Month - 1);
        if (month < FirstMonth)
            return 0;
        Day k = ZTFloorDiv(month - FirstMonth, Every);
        if (MonthDay(FirstMonth + k * Every) > x)
            --k;
        return k + 1;
    }

    // Yearly: the first year whose day is on or after the start, and how many years from it
    // have their day on or before x.
    Day FirstYear() const
    {
        const Day year = ZTCivilFromDays(Start).Year;
        return YearDay(year) >= Start ? year : year + 1;
    }
    Day YearsUpTo(Day x) const
    {
        Day year = ZTCivilFromDays(x).Year;
        if (YearDay(year) > x)
            --year;
        return std::max<Day>(0, year - FirstYear() + 1);
    }

    // Day MonthlyDay of month index m, or that month's last day when it is shorter.
    Day MonthDay(Day m) const
    {
        const Day year = ZTFloorDiv(m, 12);
        const int month = int(m - year * 12) + 1;
        return ZTDaysFromCivil(year, month, std::min(MonthlyDay, ZTDaysInMonth(year, month)));
    }

    // Day YearlyDay of YearlyMonth in the given year, or that month's last day when it is shorter.
    Day YearDay(Day year) const
    {
        return ZTDaysFromCivil(year, YearlyMonth, std::min(YearlyDay, ZTDaysInMonth(year, YearlyMonth)));
    }
};

// The rule of a series. workDays is called only for working-day series, so the work week is
// read once per computation that needs it.
template <class F>
TSeriesRule MakeRule(const TReminder &series, F &&workDays)
{
    TSeriesRule rule;
    rule.Start = DayNumber(series.RecurrenceStart);
    rule.Last = series.RecurrenceNoEnd ? MaxDay : std::min(DayNumber(series.RecurrenceEndBy), MaxDay);
    rule.Minute = MinuteOfDay(series.Time);
    switch (int(series.RecurrenceUnit)) {
    case ruDaily:
        if (series.RecurrenceDailyType == dtEveryNDays) {
            rule.Kind = TSeriesRule::EveryNDays;
            rule.Every = std::max<Day>(series.RecurrenceDailyEvery, 1);
        } else {
            rule.Mask = WeekdayMask(workDays());
            rule.Kind = rule.Mask ? TSeriesRule::WorkingDays : TSeriesRule::None;
        }
        break;
    case ruWeekly:
        rule.Mask = WeekdayMask(series.RecurrenceWeeklyDays);
        rule.Every = std::max<Day>(series.RecurrenceWeeklyEvery, 1);
        rule.Kind = rule.Mask ? TSeriesRule::Weekly : TSeriesRule::None;
        break;
    case ruMonthly: {
        if (series.RecurrenceMonthlyDay < 1)
            break;
        rule.Kind = TSeriesRule::Monthly;
        rule.MonthlyDay = std::min(series.RecurrenceMonthlyDay, 31);
        rule.Every = std::max<Day>(series.RecurrenceMonthlyEvery, 1);
        // The start month holds the first occurrence when its occurrence day is not before the
        // start day; otherwise the first occurrence lies N months later.
        const TZTCivilDate s = ZTCivilFromDays(rule.Start);
        rule.FirstMonth = s.Year * 12 + (s.Month - 1);
        if (rule.MonthDay(rule.FirstMonth) < rule.Start)
            rule.FirstMonth += rule.Every;
        break;
    }
    case ruYearly:
        if (series.RecurrenceYearlyMonth < 1 || series.RecurrenceYearlyMonth > 12 || series.RecurrenceYearlyDay < 1)
            break;
        rule.Kind = TSeriesRule::Yearly;
        rule.YearlyMonth = series.RecurrenceYearlyMonth;
        rule.YearlyDay = std::min(series.RecurrenceYearlyDay, 31);
        break;
    default:
        break;
    }
    return rule;
}

// The exclusion records of one series, asked for (day, minute) pairs. Few records are searched
// one by one; many are sorted once and searched by halves. The caller holds the store's lock
// for the life of the object.
class TExclusionLookup {
public:
    TExclusionLookup(const std::vector<const TReminder *> &rows, bool activeOnly) : rows_(rows), activeOnly_(activeOnly) {}

    bool Contains(Day day, int minute)
    {
        if (rows_.empty())
            return false;
        const std::int64_t stamp = day * MinutesPerDay + minute;
        if (rows_.size() <= LinearLimit) {
            for (const TReminder *row : rows_)
                if ((!activeOnly_ || row->Active) && MinuteStamp(row->Date, row->Time) == stamp)
                    return true;
            return false;
        }
        if (!sorted_) {
            sorted_.emplace();
            sorted_->reserve(rows_.size());
            for (const TReminder *row : rows_)
                if (!activeOnly_ || row->Active)
                    sorted_->push_back(MinuteStamp(row->Date, row->Time));
            std::sort(sorted_->begin(), sorted_->end());
        }
        return std::binary_search(sorted_->begin(), sorted_->end(), stamp);
    }

private:
    static constexpr std::size_t LinearLimit = 8;
    const std::vector<const TReminder *> &rows_;
    bool activeOnly_;
    std::optional<std::vector<std::int64_t>> sorted_;
};

// The occurrences of a series whose moment lies after `after` and on or before `upTo` and that
// no exclusion record covers (dismissed and removed alike): the day range they lie in and the
// recorded occurrence days within it, so that they are counted and walked without listing them.
class TMissedOccurrences {
public:
    TMissedOccurrences(const TSeriesRule &rule, const std::vector<const TReminder *> &rows, std::int64_t after, std::int64_t upTo)
        : rule_(rule)
    {
        if (rule.Kind == TSeriesRule::None || upTo == TReminders::NoStamp)
            return;
        first_ = rule.Start;
        if (after != TReminders::NoStamp)
            first_ = std::max(first_, ZTFloorDiv(after - rule.Minute, MinutesPerDay) + 1);
        last_ = std::min(rule.Last, ZTFloorDiv(upTo - rule.Minute, MinutesPerDay));
        if (first_ > last_)
            return;
        for (const TReminder *row : rows) {
            const Day d = DayNumber(row->Date);
            if (MinuteOfDay(row->Time) == rule.Minute && d >= first_ && d <= last_ && rule.OccursOn(d))
                recorded_.push_back(d);
        }
        std::sort(recorded_.begin(), recorded_.end());
        recorded_.erase(std::unique(recorded_.begin(), recorded_.end()), recorded_.end());
    }

    Day Count() const
    {
        if (first_ > last_)
            return 0;
        return rule_.CountUpTo(last_) - rule_.CountUpTo(first_ - 1) - Day(recorded_.size());
    }

    // The missed days from the latest back, until `visit` returns false.
    template <class F>
    void WalkBack(F &&visit) const
    {
        if (first_ > last_)
            return;
        for (std::optional<Day> d = rule_.LastOnOrBefore(last_); d && *d >= first_; d = rule_.LastOnOrBefore(*d - 1)) {
            if (!std::binary_search(recorded_.begin(), recorded_.end(), *d) && !visit(*d))
                return;
        }
    }

    std::optional<Day> Latest() const
    {
        std::optional<Day> latest;
        WalkBack([&](Day d) {
            latest = d;
            return false;
        });
        return latest;
    }

private:
    const TSeriesRule &rule_;
    Day first_ = 0;
    Day last_ = -1;
    std::vector<Day> recorded_;
};

int ClampCount(Day count)
{
    return int(std::clamp<Day>(count, 0, std::numeric_limits<int>::max()));
}

} // namespace

// ---- TReminder ---------------------------------------------------------------------------------

bool TReminder::CollectOccurrences(TZTDateTimeArray &dates, TDateTime lastDay, const QString &workDays) const
{
    const TSeriesRule rule = MakeRule(*this, [&] { return workDays; });
    std::vector<Day> days;
    rule.Collect(DayNumber(lastDay), days);
    for (Day d : days)
        dates.Add(DayToDateTime(d));
    return !days.empty();
}

TDateTime TReminder::NextOccurrence(TReminders &store) const
{
    return NextOccurrence(store, ZTNow());
}

TDateTime TReminder::NextOccurrence(TReminders &store, TDateTime now) const
{
    const Day today = DayNumber(now);
    const std::int64_t nowStamp = today * MinutesPerDay + MinuteOfDay(now);

    if (!Recurring)
        return MinuteStamp(Date, Time) >= nowStamp ? DayToDateTime(DayNumber(Date)) : 0;

    const TSeriesRule rule = MakeRule(*this, [&] { return store.WorkDays(); });
    if (rule.Last < today)
        return 0;

    std::lock_guard<std::recursive_mutex> guard(store.Lock());
    TExclusionLookup excluded(store.ExclusionsOf(Id), false);
    // Every exclusion record, dismissed or removed, skips its occurrence. Each skipped
    // candidate uses up one record, so the walk ends.
    for (std::optional<Day> d = rule.NextWithinEnd(today); d; d = rule.NextWithinEnd(*d + 1)) {
        if (*d * MinutesPerDay + rule.Minute >= nowStamp && !excluded.Contains(*d, rule.Minute))
            return DayToDateTime(*d);
    }
    return 0;
}

bool TReminder::OccursOn(TReminders &store, TDateTime day) const
{
    const Day x = DayNumber(day);
    if (!Recurring) {
        // Shown from 00:00 to 23:50 of the day, whether pending or dismissed.
        const std::int64_t stamp = MinuteStamp(Date, Time);
        const std::int64_t first = x * MinutesPerDay;
        return stamp >= first && stamp <= first + MinuteOfDay(DayViewEndTime());
    }
    const TSeriesRule rule = MakeRule(*this, [&] { return store.WorkDays(); });
    if (!rule.OccursOn(x))
        return false;
    // Only removed occurrences (Active exclusion records) are hidden; dismissed ones stay shown.
    std::lock_guard<std::recursive_mutex> guard(store.Lock());
    TExclusionLookup removed(store.ExclusionsOf(Id), true);
    return !removed.Contains(x, rule.Minute);
}

// ---- TReminders ----------------------------------------------------------------------------------

void TReminders::GetDue(TReminderList &list, bool catchUp, TDateTime time, TDateTime date)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const Day today = DayNumber(date);
    const int minute = MinuteOfDay(time);
    const std::int64_t stamp = today * MinutesPerDay + minute;

    std::optional<QString> workDays;
    const auto readWorkDays = [&] {
        if (!workDays)
            workDays = WorkDays();
        return *workDays;
    };

    std::vector<Day> days;
    for (const TReminder &row : mainTable_) {
        if (!row.Active)
            continue;
        if (!row.Recurring) {
            const std::int64_t due = MinuteStamp(row.Date, row.Time);
            if (catchUp ? due <= stamp : due == stamp)
                list.Add(row.Clone());
            continue;
        }

        const auto addOccurrence = [&](Day d) {
            auto occurrence = row.Clone();
            occurrence->OccurrenceDate = DayToDateTime(d);
            occurrence->OccurrenceTime = row.Time;
            list.Add(std::move(occurrence));
        };

        if (!catchUp) {
            // Only today's occurrence at this very minute can be due.
            if (MinuteOfDay(row.Time) != minute)
                continue;
            const TSeriesRule rule = MakeRule(row, readWorkDays);
            if (rule.OccursOn(today) && !TExclusionLookup(ExclusionsOf(row.Id), false).Contains(today, minute))
                addOccurrence(today);
            continue;
        }

        // Catch-up: every past occurrence without an exclusion record, oldest first.
        const TSeriesRule rule = MakeRule(row, readWorkDays);
        days.clear();
        rule.Collect(today, days);
        std::sort(days.begin(), days.end());
        TExclusionLookup excluded(ExclusionsOf(row.Id), false);
        for (Day d : days) {
            if (d * MinutesPerDay + rule.Minute <= stamp && !excluded.Contains(d, rule.Minute))
                addOccurrence(d);
        }
    }
}

void TReminders::GetCatchUp(TCatchUpList &list, TDateTime time, TDateTime date)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::int64_t stamp = DayNumber(date) * MinutesPerDay + MinuteOfDay(time);
    std::optional<QString> workDays;
    const auto readWorkDays = [&] {
        if (!workDays)
            workDays = WorkDays();
        return *workDays;
    };
    for (const TReminder &row : mainTable_) {
        if (!row.Active)
            continue;
        if (!row.Recurring) {
            if (MinuteStamp(row.Date, row.Time) <= stamp)
                list.push_back({row.Clone(), 0});
            continue;
        }
        const TSeriesRule rule = MakeRule(row, readWorkDays);
        const TMissedOccurrences missed(rule, ExclusionsOf(row.Id), NoStamp, stamp);
        const Day count = missed.Count();
        if (count <= 0)
            continue;
        const std::optional<Day> latest = missed.Latest();
        if (!latest)
            continue;
        auto occurrence = row.Clone();
        occurrence->OccurrenceDate = DayToDateTime(*latest);
        occurrence->OccurrenceTime = row.Time;
        list.push_back({std::move(occurrence), ClampCount(count - 1)});
    }
}

int TReminders::CountMissed(const TReminder &series, std::int64_t after, std::int64_t upTo, TDateTime &latest)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    latest = 0;
    const TSeriesRule rule = MakeRule(series, [&] { return WorkDays(); });
    const TMissedOccurrences missed(rule, ExclusionsOf(series.Id), after, upTo);
    const Day count = missed.Count();
    if (count <= 0)
        return 0;
    if (const std::optional<Day> day = missed.Latest())
        latest = DayToDateTime(*day);
    return ClampCount(count);
}

int TReminders::CollectMissed(const TReminder &series, std::int64_t after, std::int64_t upTo, int limit, TZTDateTimeArray &days)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const TSeriesRule rule = MakeRule(series, [&] { return WorkDays(); });
    const TMissedOccurrences missed(rule, ExclusionsOf(series.Id), after, upTo);
    std::vector<Day> found;
    if (limit != 0)
        missed.WalkBack([&](Day d) {
            found.push_back(d);
            return limit < 0 || int(found.size()) < limit;
        });
    for (auto it = found.rbegin(); it != found.rend(); ++it)
        days.Add(DayToDateTime(*it));
    return int(found.size());
}

void TReminders::MarkSeries(int calendar, const TReminder &series, TDateTime rangeStart, TDateTime rangeEnd)
{
    if (calendar < 1 || calendar > 2)
        return;
    const Day first = DayNumber(rangeStart);
    // Never beyond the 62 marks, whatever range is given.
    const Day last = std::min(DayNumber(rangeEnd), first + MarkCount - 1);
    if (last < first)
        return;

    std::lock_guard<std::recursive_mutex> guard(lock_);
    const TSeriesRule rule = MakeRule(series, [&] { return WorkDays(); });
    TExclusionLookup removed(ExclusionsOf(series.Id), true);
    bool *marks = marks_[calendar - 1];
    for (std::optional<Day> d = rule.NextWithinEnd(first); d && *d <= last; d = rule.NextWithinEnd(*d + 1)) {
        // A day already marked needs no exclusion lookup.
        if (marks[*d - first])
            continue;
        if (!removed.Contains(*d, rule.Minute))
            SetMark(calendar, rangeStart, rangeEnd, DayToDateTime(*d));
    }
}
