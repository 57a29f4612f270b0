// The reminder database file: the row codec shared with CSV, loading, saving and the
// automatic backup beside the file.
//
// Layout: a header line "KESTO 2.0", an empty line, then one line per row (main table first,
// then exclusions), each of 24 fields followed by ";". Files with the magic "KJOTB" and files
// of version 1.0 (19 fields, sound flag before the message) are read as well; the program
// always writes "KESTO 2.0". Files are written in UTF-8 with CR LF line ends.
//
// Another program may change the file while the program runs (a file-sync tool, an editor).
// The store remembers what the file held after its last Load or Save (size and a hash of the
// bytes), so that a save never overwrites such a change without keeping it beside the file.

#include "clsReminders.h"

#include "ZTExceptions.h"
#include "ZTFileUtils.h"
#include "ZTStrUtils.h"
#include "uFunctions.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>
#include <QStringView>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

const QString InvalidDefinition = QStringLiteral("Invalid reminder definition in database file.");
const QString InvalidFormat = QStringLiteral("Invalid database file format.");

// The field readers below take a view of a line either as decoded text (QStringView) or,
// for a line of plain ASCII, straight as the file's bytes (QLatin1StringView), which needs no
// decoding at all. Both give the same values.

template <typename View>
char16_t UnitAt(View s, qsizetype i)
{
    return char16_t(s[i].unicode());
}

// Leading and trailing blanks and control characters go before a field is converted.
template <typename View>
View TrimField(View field)
{
    // Nearly every field starts and ends with a visible character.
    if (field.isEmpty() || (UnitAt(field, 0) > 0x20 && UnitAt(field, field.size() - 1) > 0x20))
        return field;
    qsizetype begin = 0;
    qsizetype end = field.size();
    while (begin < end && UnitAt(field, begin) <= 0x20)
        ++begin;
    while (end > begin && UnitAt(field, end - 1) <= 0x20)
        --end;
    return field.mid(begin, end - begin);
}

// ---- Fast paths of the text forms ----
// A store of tens of thousands of rows is written and read in well under a second only when
// the common field shapes avoid the general conversions (which build several temporary strings
// per field). Each fast path gives exactly the result of its general routine in uFunctions and
// hands every unusual shape to it, so the general routine also produces the errors.

// Day numbers of 1 January 0001 and 31 December 9999: the range of valid stored dates.
constexpr std::int64_t FirstDay = -693593;
constexpr std::int64_t LastDay = 2958465;

// EscapeText in one pass: carriage returns dropped, line feeds as "{$}", ";" as "{#}".
void AppendText(QString &out, const QString &text)
{
    const QChar *p = text.constData();
    const qsizetype n = text.size();
    qsizetype run = 0; // start of the pending run of plain characters
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = p[i].unicode();
        if (u != u'\r' && u != u'\n' && u != u';')
            continue;
        out.append(p + run, i - run);
        if (u == u'\n')
            out += QLatin1String("{$}");
        else if (u == u';')
            out += QLatin1String("{#}");
        run = i + 1;
    }
    out.append(p + run, n - run);
}

// Where a row is written: a line of text (the row codec), or straight into the file's UTF-8
// bytes (a save), which spares building and encoding a string per line.
class TTextSink {
public:
    explicit TTextSink(QString &out) : out_(out) {}
    void Ascii(const char *s, qsizetype n) { out_.append(QLatin1StringView(s, n)); }
    // A text as it stands, or escaped.
    void Text(const QString &text, bool escape)
    {
        if (escape)
            AppendText(out_, text);
        else
            out_ += text;
    }

private:
    QString &out_;
};

class TByteSink {
public:
    explicit TByteSink(qsizetype capacity) { bytes_.resize(qMax<qsizetype>(capacity, 64)); }
    void Ascii(const char *s, qsizetype n)
    {
        Room(n);
        std::memcpy(bytes_.data() + used_, s, std::size_t(n));
        used_ += n;
    }
    void Text(const QString &text, bool escape)
    {
        // Plain ASCII is copied byte for byte (an escape takes three bytes for one character);
        // a text with any other character is escaped as a string and encoded.
        const char16_t *p = reinterpret_cast<const char16_t *>(text.utf16());
        const qsizetype n = text.size();
        Room(3 * n);
        char *out = bytes_.data() + used_;
        qsizetype w = 0;
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t u = p[i];
            if (u >= 0x80)
                return Encode(text, escape);
            if (escape && (u == u'\r' || u == u'\n' || u == u';')) {
                if (u != u'\r') {
                    std::memcpy(out + w, u == u'\n' ? "{$}" : "{#}", 3);
                    w += 3;
                }
                continue;
            }
            out[w++] = char(u);
        }
        used_ += w;
    }
    QByteArray Take()
    {
        bytes_.resize(used_);
        return std::move(bytes_);
    }

private:
    void Room(qsizetype n)
    {
        if (bytes_.size() - used_ < n)
            bytes_.resize(qMax(used_ + n, 2 * bytes_.size()));
    }
    void Encode(const QString &text, bool escape)
    {
        const QString *source = &text;
        if (escape) {
            escaped_.resize(0);
            AppendText(escaped_, text);
            source = &escaped_;
        }
        Room(utf8_.requiredSpace(source->size()));
        used_ = utf8_.appendToBuffer(bytes_.data() + used_, *source) - bytes_.data();
    }

    QByteArray bytes_;
    qsizetype used_ = 0;
    QString escaped_;
    QStringEncoder utf8_{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
};

template <typename Sink>
void AppendNumber(Sink &out, std::int64_t n)
{
    char buffer[24];
    int i = int(sizeof buffer);
    const bool negative = n < 0;
    std::uint64_t u = negative ? std::uint64_t(0) - std::uint64_t(n) : std::uint64_t(n);
    do {
        buffer[--i] = char('0' + u % 10);
        u /= 10;
    } while (u != 0);
    if (negative)
        buffer[--i] = '-';
    out.Ascii(buffer + i, qsizetype(sizeof buffer) - i);
}

template <typename Sink>
void AppendDate(Sink &out, TDateTime d)
{
    const std::int64_t n = DayNumber(d);
    if (n < FirstDay || n > LastDay) {
        out.Text(DateToText(d), false);
        return;
    }
    const TZTCivilDate civil = ZTCivilFromDays(n);
    AppendNumber(out, civil.Day);
    out.Ascii("/", 1);
    AppendNumber(out, civil.Month);
    out.Ascii("/", 1);
    AppendNumber(out, civil.Year);
}

template <typename Sink>
void AppendTime(Sink &out, TDateTime t)
{
    const int minute = MinuteOfDay(t);
    AppendNumber(out, minute / 60);
    out.Ascii(":", 1);
    AppendNumber(out, minute % 60);
}

// UnescapeText in one pass: "{$}" becomes a carriage return and line feed, "{#}" becomes ";".
// (The replacement of "{$}" never forms a new "{#}", so one pass equals the two in turn.)
template <typename View>
QString FieldToText(View s)
{
    bool plain;
    if constexpr (std::is_same_v<View, QLatin1StringView>)
        plain = s.isEmpty() || std::memchr(s.data(), '{', std::size_t(s.size())) == nullptr;
    else
        plain = !s.contains(QLatin1Char('{'));
    if (plain)
        return s.toString();
    QString out;
    out.reserve(s.size() + 8);
    const qsizetype n = s.size();
    qsizetype run = 0;
    for (qsizetype i = 0; i + 2 < n; ++i) {
        if (UnitAt(s, i) != u'{' || UnitAt(s, i + 2) != u'}')
            continue;
        const char16_t middle = UnitAt(s, i + 1);
        if (middle != u'$' && middle != u'#')
            continue;
        out.append(s.mid(run, i - run));
        out += middle == u'$' ? QLatin1String("\r\n") : QLatin1String(";");
        i += 2;
        run = i + 1;
    }
    out.append(s.mid(run));
    return out;
}

// Reads a run of 1 to 9 decimal digits from position i up to the stop character (or the end
// when stop is 0), leaving i on the stop character; false for anything else.
template <typename View>
bool Digits(View s, qsizetype &i, char16_t stop, int &value)
{
    const qsizetype first = i;
    int v = 0;
    while (i < s.size()) {
        const char16_t u = UnitAt(s, i);
        if (stop != 0 && u == stop)
            break;
        if (u < u'0' || u > u'9' || i - first >= 9)
            return false;
        v = v * 10 + int(u - u'0');
        ++i;
    }
    if (i == first || (stop != 0 && i == s.size()))
        return false;
    value = v;
    return true;
}

template <typename View>
bool Digits(View s, int &value)
{
    qsizetype i = 0;
    return Digits(s, i, 0, value);
}

// A date written D/M/YYYY that exists, as its day number; false for any other shape.
template <typename View>
bool PlainDate(View s, std::int64_t &dayNumber)
{
    qsizetype i = 0;
    int day = 0, month = 0, year = 0;
    if (!(Digits(s, i, u'/', day) && Digits(s, ++i, u'/', month) && Digits(s, ++i, 0, year) && year >= 1 && year <= 9999
          && month >= 1 && month <= 12 && day >= 1 && day <= ZTDaysInMonth(year, month)))
        return false;
    dayNumber = ZTDaysFromCivil(year, month, day);
    return true;
}

// A time written H:M within the day; false for any other shape.
template <typename View>
bool PlainTime(View s, int &hour, int &minute)
{
    qsizetype i = 0;
    return Digits(s, i, u':', hour) && Digits(s, ++i, 0, minute) && hour <= 23 && minute <= 59;
}

template <typename View>
TDateTime FieldToDate(View s)
{
    std::int64_t dayNumber = 0;
    if (PlainDate(s, dayNumber))
        return double(dayNumber);
    return TextToDate(s.toString());
}

template <typename View>
TDateTime FieldToDateOr(View s, TDateTime fallback)
{
    return s.isEmpty() ? fallback : FieldToDate(s);
}

template <typename View>
TDateTime FieldToTime(View s)
{
    // EncodeTime's value for each minute of the day, worked out once: a division per row is
    // a good part of reading a time.
    static const auto minutes = [] {
        std::array<TDateTime, 1440> values{};
        for (int m = 0; m < 1440; ++m)
            values[std::size_t(m)] = EncodeTime(m / 60, m % 60, 0, 0);
        return values;
    }();
    int hour = 0, minute = 0;
    if (PlainTime(s, hour, minute))
        return minutes[std::size_t(hour * 60 + minute)];

    return TextToTime(s.toString());
}

template <typename View>
int FieldToInt(View s)
{
    // Most number fields are one digit.
    if (s.size() == 1 && UnitAt(s, 0) >= u'0' && UnitAt(s, 0) <= u'9')
        return int(UnitAt(s, 0) - u'0');
    int value = 0;
    if (Digits(s, value))
        return value;
    return TextToInt(s.toString());
}

template <typename View>
bool FieldToBool(View s)
{
    return s == QLatin1String("TRUE");
}

// Appends the row's fields, each followed by ";", without a line end.
template <typename Sink>
void AppendLine(Sink &out, const TReminder &r, bool withId)
{
    const auto end = [&] { out.Ascii(";", 1); };
    const auto boolean = [&](bool b) { b ? out.Ascii("TRUE;", 5) : out.Ascii("FALSE;", 6); };
    const auto number = [&](std::int64_t n) {
        AppendNumber(out, n);
        end();
    };
    const auto text = [&](const QString &t, bool escape) {
        out.Text(t, escape);
        end();
    };
    if (withId)
        text(r.Id, false);
    AppendDate(out, r.Date);
    end();
    AppendTime(out, r.Time);
    end();
    text(r.ReminderMessage, true);
    boolean(r.PlaySound);
    boolean(r.RepeatSound);
    text(r.SoundFile, true);
    boolean(r.RunProgram);
    text(r.ProgramLocation, true);
    boolean(r.Recurring);
    number(RecurrenceUnitToInt(r.RecurrenceUnit));
    number(RecurrenceDailyTypeToInt(r.RecurrenceDailyType));
    number(r.RecurrenceDailyEvery);
    number(r.RecurrenceWeeklyEvery);
    text(r.RecurrenceWeeklyDays, false);
    number(r.RecurrenceMonthlyDay);
    number(r.RecurrenceMonthlyEvery);
    number(r.RecurrenceYearlyMonth);
    number(r.RecurrenceYearlyDay);
    AppendDate(out, r.RecurrenceStart);
    end();
    boolean(r.RecurrenceNoEnd);
    AppendDate(out, r.RecurrenceEndBy);
    end();
    boolean(r.Exclusion);
    boolean(r.Active);
}

// Clears a flag on every way out of a scope.
class TFlagReset {
public:
    explicit TFlagReset(bool &flag) : flag_(flag) {}
    ~TFlagReset() { flag_ = false; }
    TFlagReset(const TFlagReset &) = delete;
    TFlagReset &operator=(const TFlagReset &) = delete;

private:
    bool &flag_;
};

// Raises the reason of a failed file operation. Some failures (a name the file system refuses
// when the new file is put in place) leave Qt without a reason of its own; the system's error
// code of the operation, passed in, then gives it.
[[noreturn]] void RaiseFileError(const QFileDevice &file, int systemError = 0)
{
    QString reason = file.errorString();
    if (systemError != 0 && (reason.isEmpty() || reason == QLatin1String("Unknown error")))
        reason = QString::fromLocal8Bit(std::strerror(systemError));
    throw std::runtime_error(reason.toStdString());
}

// The fields of one line: the first 32 kept (a row has 24), any further ones only counted.
template <typename View>
class TFieldsOf {
public:
    void append(View field)
    {
        if (size_ < Kept)
            fields_[size_] = field;
        ++size_;
    }
    void clear() { size_ = 0; }
    qsizetype size() const { return size_; }
    View operator[](qsizetype i) const { return fields_[i]; }

private:
    static constexpr qsizetype Kept = 32;
    View fields_[Kept];
    qsizetype size_ = 0;
};
using TFields = TFieldsOf<QStringView>;

// Every ";" ends a field, empty ones included; each field trimmed. Returns what follows the
// last ";", as it stands.
template <typename View>
View SplitFields(View text, TFieldsOf<View> &fields)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (UnitAt(text, i) == u';') {
            fields.append(TrimField(text.mid(start, i - start)));
            start = i + 1;
        }
    }
    return text.mid(start);
}

// A line of the file's bytes split as SplitFields does, with the closing rule of ParseRowInto
// (text after the last ";" is a field when there is any), sixteen bytes at a time; false,
// with `fields` undefined, when the line holds any byte that is not ASCII. Nearly every line
// is plain ASCII and is then read as it stands: the split is the load's longest walk over the
// file, and this one walk also tells whether the line needs decoding.
bool SplitAsciiLine(QByteArrayView line, TFieldsOf<QLatin1StringView> &fields)
{
    const char *p = line.data();
    const char *const stop = p + line.size();
    const char *start = p;
    const auto cutAt = [&](const char *at) {
        fields.append(TrimField(QLatin1StringView(start, at)));
        start = at + 1;
    };
    const char *at = p;
#if defined(__SSE2__)
    const __m128i semicolon = _mm_set1_epi8(';');
    __m128i high = _mm_setzero_si128();
    for (; stop - at >= 16; at += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
        high = _mm_or_si128(high, chunk);
        for (unsigned mask = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, semicolon))); mask != 0; mask &= mask - 1)
            cutAt(at + std::countr_zero(mask));
    }
    if (_mm_movemask_epi8(high) != 0)
        return false;
#endif
    for (; at < stop; ++at) {
        if (std::uint8_t(*at) >= 0x80)
            return false;
        if (*at == ';')
            cutAt(at);
    }
    if (start < stop)
        cutAt(stop);
    return true;
}

// The raw text fields of the line read before, in the file's bytes: a load compares each new
// field with them byte for byte. Rows that follow each other often repeat a text (the
// exclusion rows of one series carry its Id and message; most rows have the same weekdays).
struct TTextMemo {
    QLatin1StringView Id, Message, Sound, Program, WeekDays, RecurrenceStart, RecurrenceEndBy;
};

// Whether a field repeats, byte for byte, the same column of the line before (`last`), which
// then becomes this field. An empty field repeats nothing.
bool Repeats(QLatin1StringView &last, QLatin1StringView field)
{
    const bool same =
        !field.isEmpty() && field.size() == last.size() && std::memcmp(field.data(), last.data(), std::size_t(field.size())) == 0;
    last = field;
    return same;
}

// Whether the field repeats its column of the line before, for a caller that keeps those
// columns (`memo`); no field of decoded text does.
template <typename View>
bool RepeatsColumn(TTextMemo *memo, QLatin1StringView TTextMemo::*column, View field)
{
    if constexpr (std::is_same_v<View, QLatin1StringView>)
        return memo != nullptr && Repeats(memo->*column, field);
    else
        return false;
}

// A text field, unescaped unless `plain`, into `text`. When the field repeats one that made
// `text` (its column of the line before, when the caller keeps those; otherwise `text` itself,
// for a field without escapes), that string is kept rather than made again. Empty fields are
// made afresh, as they would be without the comparison.
template <typename View>
void SetText(QString &text, View field, bool plain, TTextMemo *memo, QLatin1StringView TTextMemo::*column)
{
    const bool kept =
        memo ? RepeatsColumn(memo, column, field)
             : !field.isEmpty() && field.size() == text.size() && field == text && (plain || !field.contains(QLatin1Char('{')));
    if (!kept)
        text = plain ? field.toString() : FieldToText(field);
}

// A row's fields, straight into r; the 1.0 order puts the sound flag before the message. Every
// stored field of r is set (texts equal to those r holds are kept as they are). `memo`, when
// given, holds the same columns of the line before, which r was read from: a field that
// repeats its column leaves r's value as it is.
template <typename View>
void ParseFieldsInto(TReminder &r, const TFieldsOf<View> &fields, bool withoutId, bool oldFormat, TTextMemo *memo)
{
    const int needed = withoutId ? TReminders::ColumnCount - 1 : TReminders::ColumnCount;
    if (fields.size() < needed)
        throw EZTException(InvalidDefinition, QStringLiteral("Incorrect number of fields."), 1);

    // Field n counts from 1; k shifts the fields after the Id.
    const int k = withoutId ? 0 : 1;
    const auto field = [&](int n) { return fields[n - 1]; };

    if (!withoutId)
        SetText(r.Id, field(1), true, memo, &TTextMemo::Id);
    r.Date = FieldToDate(field(k + 1));
    r.Time = FieldToTime(field(k + 2));
    if (oldFormat) {
        r.PlaySound = FieldToBool(field(k + 3));
        SetText(r.ReminderMessage, field(k + 4), false, memo, &TTextMemo::Message);
    } else {
        SetText(r.ReminderMessage, field(k + 3), false, memo, &TTextMemo::Message);
        r.PlaySound = FieldToBool(field(k + 4));
    }
    r.RepeatSound = FieldToBool(field(k + 5));
    SetText(r.SoundFile, field(k + 6), false, memo, &TTextMemo::Sound);
    r.RunProgram = FieldToBool(field(k + 7));
    SetText(r.ProgramLocation, field(k + 8), false, memo, &TTextMemo::Program);
    r.Recurring = FieldToBool(field(k + 9));
    r.RecurrenceUnit = IntToRecurrenceUnit(FieldToInt(field(k + 10)));
    r.RecurrenceDailyType = IntToRecurrenceDailyType(FieldToInt(field(k + 11)));
    r.RecurrenceDailyEvery = FieldToInt(field(k + 12));
    r.RecurrenceWeeklyEvery = FieldToInt(field(k + 13));
    SetText(r.RecurrenceWeeklyDays, field(k + 14), true, memo, &TTextMemo::WeekDays);
    r.RecurrenceMonthlyDay = FieldToInt(field(k + 15));
    r.RecurrenceMonthlyEvery = FieldToInt(field(k + 16));
    r.RecurrenceYearlyMonth = FieldToInt(field(k + 17));
    r.RecurrenceYearlyDay = FieldToInt(field(k + 18));
    // An exclusion row's rule dates are those of every other exclusion row.
    if (!RepeatsColumn(memo, &TTextMemo::RecurrenceStart, field(k + 19)))
        r.RecurrenceStart = FieldToDateOr(field(k + 19), r.Date);
    r.RecurrenceNoEnd = FieldToBool(field(k + 20));
    if (!RepeatsColumn(memo, &TTextMemo::RecurrenceEndBy, field(k + 21)))
        r.RecurrenceEndBy = FieldToDateOr(field(k + 21), r.Date);
    r.Exclusion = FieldToBool(field(k + 22));
    r.Active = FieldToBool(field(k + 23));
}

// The row codec's reading half, straight into r; the 1.0 order puts the sound flag before the
// message. Every stored field of r is set (texts equal to those r holds are kept as they are).
void ParseRowInto(TReminder &r, QStringView text, bool withoutId, bool oldFormat)
{
    // Text after the last ";" is a field only when there is any, so the closing ";" of a line
    // adds none.
    TFields fields;
    const QStringView rest = SplitFields(text, fields);
    if (!rest.isEmpty())
        fields.append(TrimField(rest));
    ParseFieldsInto(r, fields, withoutId, oldFormat, nullptr);
}

// The row codec's reading half for one line of text.
void ParseRow(TReminder &reminder, QStringView text, bool withoutId, bool oldFormat)
{
    // Converted into a copy, so a line that fails leaves the reminder as it was.
    TReminder r = reminder;
    ParseRowInto(r, text, withoutId, oldFormat);
    reminder = std::move(r);
}

// The first carriage return or line feed from p on, or stop when there is none; sixteen bytes
// at a time.
const char *FindLineEnd(const char *p, const char *stop)
{
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; stop - p >= 16; p += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const unsigned mask = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, cr), _mm_cmpeq_epi8(chunk, lf))));
        if (mask != 0)
            return p + std::countr_zero(mask);
    }
#endif
    while (p < stop && *p != '\r' && *p != '\n')
        ++p;
    return p;
}

// The lines of a file's bytes, in one pass: a carriage return, a line feed or the pair end a
// line; what follows the last line end is a line when it is not empty.
class TByteLines {
public:
    explicit TByteLines(const QByteArray &bytes) : stop_(bytes.constData() + bytes.size()), at_(bytes.constData()) {}

    bool Next(QByteArrayView &line)
    {
        if (at_ >= stop_)
            return false;
        const char *end = FindLineEnd(at_, stop_);
        line = QByteArrayView(at_, end - at_);
        at_ = end + ((end < stop_ && *end == '\r' && end + 1 < stop_ && end[1] == '\n') ? 2 : 1);
        return true;
    }

private:
    const char *stop_;
    const char *at_;
};

// How many rows of each table the file appears to hold: every line counts, and a line whose
// field before the last reads TRUE (the Exclusion field of a whole row) counts for the
// exclusions. The header and the empty line are not counted.
struct TRowCount {
    std::size_t Main = 0;
    std::size_t Exclusions = 0;
};

TRowCount CountRows(const QByteArray &bytes)
{
    TRowCount count;
    TByteLines lines(bytes);
    QByteArrayView line;
    std::size_t total = 0;
    while (lines.Next(line)) {
        ++total;
        // Back over the ";" after Active, Active, and the ";" after Exclusion.
        const char *p = line.data();
        const char *q = p + line.size();
        if (q > p && q[-1] == ';') {
            --q;
            if (q - p >= 5 && std::memcmp(q - 5, ";TRUE", 5) == 0)
                q -= 4;
            else if (q - p >= 6 && std::memcmp(q - 6, ";FALSE", 6) == 0)
                q -= 5;
            while (q > p && q[-1] != ';')
                --q;
            if (q - p >= 5 && std::memcmp(q - 5, "TRUE;", 5) == 0 && (q - 5 == p || q[-6] == ';'))
                ++count.Exclusions;
        }
    }
    count.Exclusions = std::min(count.Exclusions, total);
    count.Main = total - count.Exclusions - std::min<std::size_t>(total - count.Exclusions, 2);
    return count;
}

} // namespace

// ---- Row codec -----------------------------------------------------------------------------

QString TReminders::FormatLine(const TReminder &reminder, bool withId) const
{
    QString line;
    line.reserve(160 + reminder.ReminderMessage.size() + reminder.SoundFile.size() + reminder.ProgramLocation.size());
    TTextSink sink(line);
    AppendLine(sink, reminder, withId);
    return line;
}

void TReminders::ParseLine(TReminder &reminder, const QString &line, bool withoutId)
{
    ParseRow(reminder, line, withoutId, oldFormat_);
}

// ---- Load ----------------------------------------------------------------------------------

void TReminders::Load()
{
    TFileStamp stamp{true, false, 0};
    QByteArray bytes;
    ZTRaising(TZTRaise::WrapAll, QStringLiteral("Error loading database file '%1'.").arg(fileName_), [&] {
        if (!ZTFileExistsSafe(fileName_)) {
            // A folder, FIFO or device at the path is no database file; reading it would block
            // or fail with a reason that does not say so.
            const QString kind = ZTNonRegularFileKind(fileName_);
            if (!kind.isEmpty())
                throw std::runtime_error(QStringLiteral("The path is %1, not a file.").arg(kind).toStdString());
            return;
        }
        // Read as bytes, so that the stamp is of exactly what was read.
        QString reason;
        if (!ZTReadRegularFile(fileName_, bytes, reason))
            throw std::runtime_error(reason.toStdString());
        stamp = StampOf(bytes);
        LoadBytes(bytes);
    });
    fileStamp_ = stamp;
    baseBytes_ = bytes;
    ++changeCount_;
    modified_ = false;
}

void TReminders::LoadBytes(const QByteArray &bytes)
{
    // The 1.0 field order applies to the lines of a 1.0 file only, whatever way the load ends.
    const TFlagReset resetOldFormat(oldFormat_);
    // One pass over the bytes: each line is taken apart where it lies. A line of plain ASCII
    // (nearly every line) is read as it stands; any other is decoded on its own first, by the
    // rule that decodes the whole file.
    TByteLines lines(bytes);
    TZTLineDecoder decoder;
    QByteArrayView line;
    if (!lines.Next(line))
        return;

    const QStringView header = decoder.Decode(line, true);
    const QStringView magic = header.left(5);
    if (header.size() < 5 || (magic != QLatin1String("KESTO") && magic != QLatin1String("KJOTB")))
        throw EZTException(InvalidFormat, QString(), 1);
    // The character between magic and version is not examined.
    const QStringView version = header.mid(qMin<qsizetype>(6, header.size()));
    if (version == QLatin1String("1.0"))
        oldFormat_ = true;
    else if (version != QLatin1String("2.0"))
        throw EZTException(InvalidFormat, QString(), 1);

    // Line 2 is skipped whatever it holds.
    if (!lines.Next(line) || !lines.Next(line))
        return;
    // The tables get room for the rows the file appears to hold, mapped at once (the estimate
    // is for speed only: a table whose estimate was short grows as usual).
    const TRowCount rows = CountRows(bytes);
    for (auto [table, count] : {std::pair{&mainTable_, rows.Main}, std::pair{&exclusionsTable_, rows.Exclusions}}) {
        table->reserve(table->size() + count);
        ZTPrepareBuffer(table->data() + table->size(), qsizetype(count * sizeof(TReminder)));
    }

    // The Id comes from the line, so the objects need no fresh identity of their own. A 1.0
    // line lacks the last five fields. Every line sets every stored field of the one working
    // row, which keeps the texts that repeat those of the line before.
    const QString missingFields = QStringLiteral(";;;;;");
    TReminder reminder;
    TTextMemo memo;
    TFieldsOf<QLatin1StringView> asciiFields;
    do {
        asciiFields.clear();
        if (!oldFormat_ && SplitAsciiLine(line, asciiFields)) {
            ParseFieldsInto(reminder, asciiFields, false, false, &memo);
        } else {
            // The texts of this line are made from decoded characters: the next line compares
            // with nothing.
            memo = TTextMemo();
            if (oldFormat_)
                ParseRowInto(reminder, QStringView(decoder.Decode(line, false).toString() + missingFields), false, true);
            else
                ParseRowInto(reminder, decoder.Decode(line, false), false, false);
        }
        AppendLoadedRow(reminder);
    } while (lines.Next(line));
    InvalidateExclusionIndex();
    ++changeCount_;
    modified_ = true;
}

void TReminders::ReadBase(const QByteArray &bytes, std::vector<TReminder> &mainRows, std::vector<TReminder> &exclusionRows)
{
    TReminders base{QString()};
    try {
        base.LoadBytes(bytes);
    } catch (...) {
        // A base that cannot be read again counts as empty: every row is then an addition.
        base.Clear();
    }
    mainRows = std::move(base.mainTable_);
    exclusionRows = std::move(base.exclusionsTable_);
}

// ---- The strict reader -------------------------------------------------------------------------

namespace {

// Checks one row of a file that arrives while the program runs: exactly its fields, each with
// a value of its kind. Returns the reason when the row is not whole.
QString CheckRow(QStringView line, bool oldFormat)
{
    TFields fields;
    const QStringView rest = TrimField(SplitFields(line, fields));
    const int expected = oldFormat ? 19 : TReminders::ColumnCount;
    if (!rest.isEmpty() || fields.size() != expected)
        return QStringLiteral("it has %1 fields where %2 belong").arg(fields.size() + (rest.isEmpty() ? 0 : 1)).arg(expected);
    const auto field = [&](int n) { return fields[n - 1]; };
    const auto isBool = [](QStringView f) { return f == QLatin1String("TRUE") || f == QLatin1String("FALSE"); };
    const auto isDate = [](QStringView f) {
        std::int64_t day = 0;
        return PlainDate(f, day);
    };
    const auto isTime = [](QStringView f) {
        int hour = 0, minute = 0;
        return PlainTime(f, hour, minute);
    };
    const auto inRange = [](QStringView f, int high) {
        int value = 0;
        return Digits(f, value) && value <= high;
    };
    // Any whole number the program itself may write back (a count read from an older file may
    // be negative or large).
    const auto isNumber = [](QStringView f) {
        const QStringView digits = f.startsWith(u'-') ? f.mid(1) : f;
        return !digits.isEmpty() && digits.size() <= 10
               && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    // The Id and the weekdays are taken as they stand: the program keeps whatever text an older
    // file held there, and a row cut short shows in its count of fields and its last fields.
    if (!isDate(field(2)) || !isTime(field(3)))
        return QStringLiteral("its date or time cannot be read");
    // Boolean fields: in the 1.0 order the sound flag comes before the message.
    for (int n : {oldFormat ? 4 : 5, 6, 8, 10})
        if (!isBool(field(n)))
            return QStringLiteral("field %1 is neither TRUE nor FALSE").arg(n);
    if (!inRange(field(11), 4) || !inRange(field(12), 2))
        return QStringLiteral("its recurrence code is out of range");
    for (int n : {13, 14, 16, 17, 18, 19})
        if (!isNumber(field(n)))
            return QStringLiteral("field %1 is not a number").arg(n);
    if (oldFormat)
        return QString();
    if (!isDate(field(20)) || !isDate(field(22)))
        return QStringLiteral("its recurrence dates cannot be read");
    for (int n : {21, 23, 24})
        if (!isBool(field(n)))
            return QStringLiteral("field %1 is neither TRUE nor FALSE").arg(n);
    return QString();
}

} // namespace

bool TReminders::ReadWhole(const QByteArray &bytes, std::vector<TReminder> &mainRows, std::vector<TReminder> &exclusionRows,
                           QString &reason)
{
    mainRows.clear();
    exclusionRows.clear();
    if (bytes.isEmpty()) {
        reason = QStringLiteral("The file is empty.");
        return false;
    }
    if (!bytes.endsWith('\n') && !bytes.endsWith('\r')) {
        reason = QStringLiteral("The file does not end with a line end: it was cut short.");
        return false;
    }
    const QString text = ZTDecodeText(bytes);
    const QList<QStringView> lines = SplitTextLines(text);
    const QStringView header = lines.isEmpty() ? QStringView() : lines.first();
    const bool oldFormat = header == QLatin1String("KESTO 1.0") || header == QLatin1String("KJOTB 1.0");
    if (!oldFormat && header != QLatin1String("KESTO 2.0") && header != QLatin1String("KJOTB 2.0")) {
        reason = QStringLiteral("Its first line is not the header of a database file.");
        return false;
    }
    if (lines.size() > 1 && !lines.at(1).isEmpty()) {
        reason = QStringLiteral("Its second line is not empty.");
        return false;
    }
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QString why = CheckRow(lines.at(i), oldFormat);
        if (!why.isEmpty()) {
            reason = QStringLiteral("Line %1 is cut short or damaged: %2.").arg(i + 1).arg(why);
            return false;
        }
    }
    // Whole: read as Load reads it, so the rows are exactly what a load would give.
    TReminders whole{QString()};
    whole.LoadBytes(bytes);
    mainRows = std::move(whole.mainTable_);
    exclusionRows = std::move(whole.exclusionsTable_);
    return true;
}

// ---- Save and backup ---------------------------------------------------------------------------

namespace {

namespace fs = std::filesystem;

fs::path FsPath(const QString &path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

QString BackupPath(const QString &file)
{
    return ZTExtractFilePath(file) + QStringLiteral("Backup of ") + ZTExtractFileName(file);
}

// After a save that did not replace the file, a backup that is a second name of it becomes a
// copy of its own, so that a later change of the file in place does not reach the backup.
void SeparateBackup(const QString &file, const QString &backup)
{
    std::error_code error;
    if (!fs::equivalent(FsPath(file), FsPath(backup), error) || error)
        return;
    ZTDeleteFile(backup);
    ZTCopyFile(file, backup);
}

} // namespace

QByteArray TReminders::FormatFile() const
{
    // The whole file in one buffer, written as UTF-8 bytes as it is built.
    std::lock_guard<std::recursive_mutex> guard(lock_);
    TByteSink file(qsizetype(mainTable_.size() + exclusionsTable_.size()) * 200 + 64);
    file.Ascii("KESTO 2.0\r\n\r\n", 13);
    for (const std::vector<TReminder> *table : {&mainTable_, &exclusionsTable_}) {
        for (const TReminder &row : *table) {
            AppendLine(file, row, true);
            file.Ascii("\r\n", 2);
        }
    }
    return file.Take();
}

void TReminders::Save()
{
    WriteFile(true);
}

bool TReminders::WriteFile(bool overOutsideChange)
{
    return ZTRaising(TZTRaise::WrapAll, QStringLiteral("Error saving database file '%1'.").arg(fileName_), [&] {
        const QByteArray bytes = FormatFile();

        // A folder removed while the program runs (the file was there at the last Load or
        // Save) is made again: the tables are the only copy. A folder that was never there is
        // not made: it may be the mount point of a drive not mounted yet.
        const QString folder = ZTExtractFilePath(fileName_);
        if (fileStamp_.Exists && !folder.isEmpty() && !QFileInfo(folder).isDir() && !QDir().mkpath(folder))
            throw std::runtime_error(QStringLiteral("The folder '%1' cannot be made.").arg(folder).toStdString());

        // The new content goes to a temporary file beside the database first. Only when it is
        // written completely does the previous file become the backup; then the commit forces
        // the new file to disk and puts it in place of the old one in one atomic rename. A
        // save that fails at any point leaves the previous file as it was.
        QSaveFile file(fileName_);
        file.setDirectWriteFallback(false);
        if (!file.open(QIODevice::WriteOnly))
            RaiseFileError(file);
        if (file.write(bytes) != bytes.size() || !file.flush()) {
            const std::string reason = file.errorString().toStdString();
            file.cancelWriting();
            throw std::runtime_error(reason);
        }
        // What another program wrote since our last Load or Save is kept beside the file
        // before ours replaces it; when it cannot be kept, the file is not replaced. A file
        // that is not whole never goes over the backup, which may be the only good copy.
        bool backup = true;
        const bool changed = ChangedOnDisk();
        if (changed && !overOutsideChange) {
            file.cancelWriting();
            return false;
        }
        if (changed && ZTFileExistsSafe(fileName_)) {
            QByteArray theirs;
            QString reason;
            if (!ZTReadRegularFile(fileName_, theirs, reason))
                throw std::runtime_error(QStringLiteral("The version of another program could not be kept beside the file: %1")
                                             .arg(reason)
                                             .toStdString());
            KeepConflictBytes(theirs);
            std::vector<TReminder> mainRows, exclusionRows;
            backup = ReadWhole(theirs, mainRows, exclusionRows, reason);
        }
        SnapshotBeforeSave();
        if (backup)
            MakeBackup();
        errno = 0;
        if (!file.commit()) {
            const int error = errno;
            // The file was not replaced: the backup must not stay a second name of it.
            SeparateBackup(fileName_, BackupPath(fileName_));
            RaiseFileError(file, error);
        }
        fileStamp_ = StampOf(bytes);
        baseBytes_ = bytes;
        ++changeCount_;
        modified_ = false;
        keptHash_.clear();
        return true;
    });
}

void TReminders::MakeBackup()
{
    // Without a database file there is nothing to back up, and the backup of an earlier
    // state is kept.
    if (!ZTFileExistsSafe(fileName_))
        return;
    const QString backup = BackupPath(fileName_);
    ZTDeleteFile(backup);
    // The save replaces the file by renaming a new one over it, never in place, so the backup
    // may be a second name of the present content: nothing is copied.
    ZTCopyFile(fileName_, backup, TZTCopy::MayLink);
}

// ---- Outside edits -------------------------------------------------------------------------

TReminders::TFileStamp TReminders::StampOf(const QByteArray &bytes)
{
    // The bytes themselves are kept beside the stamp (baseBytes_), so the file is compared
    // with them, not with a hash: nothing is hashed on the way of a load or a save.
    return TFileStamp{true, true, bytes.size()};
}

bool TReminders::ChangedOnDisk() const
{
    if (!fileStamp_.Known)
        return false;
    if (!ZTFileExistsSafe(fileName_))
        return fileStamp_.Exists || !ZTNonRegularFileKind(fileName_).isEmpty();
    if (!fileStamp_.Exists || QFileInfo(fileName_).size() != fileStamp_.Size)
        return true;
    // Same size: only the bytes tell a rewrite within the same second (or a file put in place
    // by rename) from the file as we left it; they are compared with the bytes the file held
    // then. A file we can no longer read is not ours either.
    return !ZTRegularFileHolds(fileName_, baseBytes_);
}

void TReminders::KeepConflictBytes(const QByteArray &bytes)
{
    const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Blake2b_256);
    if (hash == keptHash_)
        return;
    const auto fail = [](const QString &reason) {
        throw std::runtime_error(
            QStringLiteral("The version of another program could not be kept beside the file: %1").arg(reason).toStdString());
    };
    // The first free name; creating the file exclusively takes it, so an existing copy is
    // never overwritten.
    const QString base = ZTExtractFilePath(fileName_) + QStringLiteral("Conflict of ") + ZTExtractFileName(fileName_);
    for (int n = 1; n <= 9999; ++n) {
        const QString path = n == 1 ? base : base + QStringLiteral(" (%1)").arg(n);
        QFile copy(path);
        if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo(path).exists() || QFileInfo(path).isSymLink())
                continue;
            fail(copy.errorString());
        }
        if (copy.write(bytes) != bytes.size() || !copy.flush()) {
            const QString reason = copy.errorString();
            copy.remove();
            fail(reason);
        }
        copy.close();
        keptHash_ = hash;
        pendingConflicts_ << path;
        return;
    }
    fail(QStringLiteral("no free name."));
}

std::exception_ptr TReminders::TakeConflictWarning()
{
    if (pendingConflicts_.isEmpty())
        return nullptr;
    QString details = QStringLiteral("Your reminders were saved to '%1'. The other program's version was kept as '%2'.")
                          .arg(fileName_, pendingConflicts_.join(QStringLiteral("', '")));
    if (!conflictReason_.isEmpty())
        details += QStringLiteral("\nIt could not be read: %1").arg(conflictReason_);
    pendingConflicts_.clear();
    conflictReason_.clear();
    return std::make_exception_ptr(
        EZTException(QStringLiteral("The database file was changed by another program."), details, EZTException::Warning));
}
