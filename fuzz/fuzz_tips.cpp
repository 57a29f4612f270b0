// The tips file reader on arbitrary bytes: every line is one tip (an empty one included),
// lines end with CR LF, LF or CR, a break at the very end adds no tip, and the tips joined
// with line feeds give back the decoded text. The shuffle that orders them for the dialog
// keeps every tip exactly once.

#include "FuzzSupport.h"

#include "ZTStrUtils.h"
#include "ZTTipOfTheDay.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString file = fuzz::Path(QStringLiteral("ventaro.tip"));
    const QByteArray bytes = fuzz::Bytes(data, size);
    FUZZ_CHECK(fuzz::WriteFile(file, bytes), "cannot write the input file");

    const QStringList tips = ZTLoadTips(file);
    QString expected = ZTDecodeText(bytes);
    expected.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    FUZZ_CHECK(tips.size()
                   == expected.count(QLatin1Char('\n')) + (expected.isEmpty() || expected.endsWith(QLatin1Char('\n')) ? 0 : 1),
               "one tip per line");
    if (expected.endsWith(QLatin1Char('\n')))
        expected.chop(1);
    for (const QString &tip : tips)
        FUZZ_CHECK(!tip.contains(QLatin1Char('\r')) && !tip.contains(QLatin1Char('\n')), "a tip holds a line break");
    FUZZ_CHECK(tips.join(QLatin1Char('\n')) == expected, "the tips do not join back into the file's text");

    QStringList shuffled = tips;
    ZTShuffle(shuffled);
    QStringList a = tips, b = shuffled;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    FUZZ_CHECK(a == b, "the shuffle lost or doubled a tip");
    return 0;
}
