// The text forms of the stored fields, their fast paths inside the row codec, line splitting
// and text decoding.
//
// Reading: a field text goes into one field of an otherwise valid line, and what the row codec
// makes of it must equal what the general routine makes of the trimmed text, value for value
// and error for error. Writing: a reminder with arbitrary values is written, and each field
// must read as the general routine writes it. The general routines themselves must read back
// what they write. Decoding takes UTF-8 when the bytes are valid UTF-8 and Windows-1252
// otherwise; a text splits into lines without line breaks that join back into the text.

#include "FuzzSupport.h"

#include "ZTExceptions.h"
#include "ZTStrUtils.h"
#include "clsReminders.h"
#include "uFunctions.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QStringDecoder>

#include <cmath>
#include <variant>

namespace {

// A valid database line; field n (from 1) is replaced by the text under test.
const QStringList Template =
    QStringLiteral(
        "{S};5/3/2002;9:5;Hello;TRUE;FALSE;/s.wav;FALSE;/bin/p;TRUE;2;1;3;2;1010100;0;0;0;0;1/3/2002;TRUE;5/3/2003;FALSE;TRUE")
        .split(QLatin1Char(';'));

enum TField { fDate = 2, fTime = 3, fMessage = 4, fBool = 5, fUnit = 11, fInt = 13, fStart = 20 };

// A value read, or the error it raised (its class and text).
using TResult = std::variant<double, QString, bool, int, std::string>;

template <class F>
TResult Outcome(F &&read)
{
    try {
        return read();
    } catch (const EZTException &e) {
        return std::string("EZTException: ") + e.what();
    } catch (const EConvertError &e) {
        return std::string("EConvertError: ") + e.what();
    }
}

// The codec trims blanks and control characters (code 32 and below) before converting.
QString Trimmed(const QString &s)
{
    qsizetype begin = 0, end = s.size();
    while (begin < end && s.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && s.at(end - 1).unicode() <= 0x20)
        --end;
    return s.mid(begin, end - begin);
}

void CheckReading(TField field, QString text)
{
    text.remove(QLatin1Char(';'));
    QStringList fields = Template;
    fields[field - 1] = text;
    TReminders store{QString()};
    TReminder r;
    const TResult coded = Outcome([&]() -> TResult {
        store.ParseLine(r, fields.join(QLatin1Char(';')) + QLatin1Char(';'), false);
        switch (field) {
        case fDate:
            return r.Date;
        case fTime:
            return r.Time;
        case fMessage:
            return r.ReminderMessage;
        case fBool:
            return r.PlaySound;
        case fUnit:
            return RecurrenceUnitToInt(r.RecurrenceUnit);
        case fInt:
            return int(r.RecurrenceDailyEvery);
        case fStart:
            return r.RecurrenceStart;
        }
        return {};
    });
    const QString t = Trimmed(text);
    const TResult general = Outcome([&]() -> TResult {
        switch (field) {
        case fDate:
            return TextToDate(t);
        case fTime:
            return TextToTime(t);
        case fMessage:
            return UnescapeText(t);
        case fBool:
            return TextToBool(t);
        case fUnit:
            return RecurrenceUnitToInt(IntToRecurrenceUnit(TextToInt(t)));
        case fInt:
            return TextToInt(t);
        case fStart:
            return TextToDateOr(t, TextToDate(QStringLiteral("5/3/2002")));
        }
        return {};
    });
    FUZZ_CHECK(coded == general, qPrintable(QStringLiteral("field %1 reads otherwise in the codec: '%2'").arg(field).arg(text)));
}

// The general routines read back what they write.
void CheckRoundTrips(const QString &text)
{
    const TResult date = Outcome([&]() -> TResult { return TextToDate(text); });
    if (const double *d = std::get_if<double>(&date)) {
        FUZZ_CHECK(*d == std::floor(*d), "a date text with a time of day");
        FUZZ_CHECK(TextToDate(DateToText(*d)) == *d, "a date does not read back");
    }
    const TResult time = Outcome([&]() -> TResult { return TextToTime(text); });
    if (const double *t = std::get_if<double>(&time)) {
        FUZZ_CHECK(*t >= 0 && *t < 1, "a time text outside the day");
        FUZZ_CHECK(TextToTime(TimeToText(*t)) == *t, "a time does not read back");
    }
    const TResult number = Outcome([&]() -> TResult { return TextToInt(text); });
    if (const int *n = std::get_if<int>(&number))
        FUZZ_CHECK(TextToInt(IntToText(*n)) == *n, "a number does not read back");
    FUZZ_CHECK(TextToBool(text) == (text == QLatin1String("TRUE")), "only TRUE reads as true");

    const QString escaped = EscapeText(text);
    FUZZ_CHECK(!escaped.contains(QLatin1Char(';')) && !escaped.contains(QLatin1Char('\r'))
                   && !escaped.contains(QLatin1Char('\n')),
               "an escaped text still holds a separator or a line break");
    FUZZ_CHECK(EscapeText(UnescapeText(escaped)) == escaped, "an escaped text does not read back");
}

// Each field of a written line is what the general routine writes for it.
void CheckWriting(FuzzedDataProvider &in)
{
    const auto moment = [&] {
        const double day = double(in.ConsumeIntegralInRange<std::int64_t>(-800000, 3100000));
        const double fraction = double(in.ConsumeIntegral<std::uint32_t>()) / 4294967296.0;
        return day < 0 ? day - fraction : day + fraction;
    };
    TReminder r;
    r.Date = moment();
    r.Time = moment();
    r.RecurrenceStart = moment();
    r.RecurrenceEndBy = moment();
    r.RecurrenceDailyEvery = in.ConsumeIntegral<std::int32_t>();
    r.RecurrenceMonthlyDay = in.ConsumeIntegral<std::int32_t>();
    const std::string raw = in.ConsumeRemainingBytesAsString();
    r.ReminderMessage = ZTDecodeText(QByteArray(raw.data(), qsizetype(raw.size())));
    TReminders store{QString()};
    const QStringList fields = store.FormatLine(r, true).split(QLatin1Char(';'));
    FUZZ_CHECK(fields.size() == TReminders::ColumnCount + 1, "a written line has the wrong number of fields");
    FUZZ_CHECK(fields.at(fDate - 1) == DateToText(r.Date), "the date is written otherwise");
    FUZZ_CHECK(fields.at(fTime - 1) == TimeToText(r.Time), "the time is written otherwise");
    FUZZ_CHECK(fields.at(fMessage - 1) == EscapeText(r.ReminderMessage), "the message is written otherwise");
    FUZZ_CHECK(fields.at(fInt - 1) == IntToText(r.RecurrenceDailyEvery), "a number is written otherwise");
    FUZZ_CHECK(fields.at(16 - 1) == IntToText(r.RecurrenceMonthlyDay), "a number is written otherwise");
    FUZZ_CHECK(fields.at(fStart - 1) == DateToText(r.RecurrenceStart), "the start is written otherwise");
    FUZZ_CHECK(fields.at(22 - 1) == DateToText(r.RecurrenceEndBy), "the end is written otherwise");
}

void CheckDecoding(const QByteArray &bytes)
{
    const QString text = ZTDecodeText(bytes);
    // The whole text as UTF-8 (a sequence cut short at the end is an error), with an initial
    // byte-order mark kept as a character.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString utf8 = decoder.decode(bytes);
    if (!decoder.hasError()) {
        const QString expected = utf8.startsWith(QChar(0xFEFF)) ? utf8.mid(1) : utf8;
        FUZZ_CHECK(text == expected, "valid UTF-8 decoded otherwise");
    } else {
        // Line by line: a line that is valid UTF-8 is UTF-8 (a mark skipped on the first line
        // only), any other line Windows-1252, one character per byte; line ends as they stand.
        qsizetype at = 0; // in text
        qsizetype start = 0;
        while (start < bytes.size()) {
            qsizetype end = start;
            while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
                ++end;
            const QByteArray line = bytes.mid(start, end - start);
            QStringDecoder lineDecoder(QStringDecoder::Utf8,
                                       QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
            QString expected = lineDecoder.decode(line);
            if (lineDecoder.hasError()) {
                FUZZ_CHECK(text.size() >= at + line.size(), "Windows-1252 gives one character per byte");
                for (qsizetype i = 0; i < line.size(); ++i) {
                    const auto b = static_cast<unsigned char>(line.at(i));
                    if (b < 0x80 || b >= 0xA0)
                        FUZZ_CHECK(text.at(at + i).unicode() == b, "Windows-1252 outside 0x80..0x9F is Latin-1");
                }
                at += line.size();
            } else {
                if (start == 0 && expected.startsWith(QChar(0xFEFF)))
                    expected = expected.mid(1);
                FUZZ_CHECK(text.mid(at, expected.size()) == expected, "a UTF-8 line of a mixed file decoded otherwise");
                at += expected.size();
            }
            for (; end < bytes.size() && (bytes[end] == '\n' || bytes[end] == '\r'); ++end, ++at)
                FUZZ_CHECK(at < text.size() && text.at(at) == QLatin1Char(bytes[end]), "a line end is not kept");
            start = end;
        }
        FUZZ_CHECK(at == text.size(), "a mixed file decodes to more than its lines");
    }

    const QList<QStringView> lines = SplitTextLines(text);
    QString joined;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(!lines.at(i).contains(QLatin1Char('\r')) && !lines.at(i).contains(QLatin1Char('\n')),
                   "a split line holds a line break");
        if (i > 0)
            joined += QLatin1Char('\n');
        joined += lines.at(i);
    }
    QString expected = text;
    expected.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (expected.endsWith(QLatin1Char('\n')))
        expected.chop(1);
    FUZZ_CHECK(joined == expected, "the split lines do not join back into the text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const int mode = in.ConsumeIntegralInRange(0, 9);
    if (mode == 9) {
        CheckWriting(in);
        return 0;
    }
    const std::string raw = in.ConsumeRemainingBytesAsString();
    const QByteArray bytes(raw.data(), qsizetype(raw.size()));
    if (mode == 8) {
        CheckDecoding(bytes);
        return 0;
    }
    const QString text = ZTDecodeText(bytes);
    if (mode == 7) {
        CheckRoundTrips(text);
        return 0;
    }
    static const TField fields[] = {fDate, fTime, fMessage, fBool, fUnit, fInt, fStart};
    CheckReading(fields[mode], text);
    return 0;
}
