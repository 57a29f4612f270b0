// The registry routines over an arbitrary hive file and an arbitrary autostart entry. Reads
// never raise and give the caller's default for whatever they cannot read; a value has one
// type at most; a value one of the typed reads finds exists; and a value
// written into the damaged hive reads back as written, with its type.
//
// Input: one byte that chooses the hive (or the autostart entry), a key path and a value name
// of up to 64 bytes each, then the file's bytes.

#include "FuzzSupport.h"

#include "ZTRegUtils.h"
#include "ZTStrUtils.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QDateTime>
#include <QFileInfo>
#include <QSettings>

namespace {

const QString OptionsKey = QStringLiteral("Software\\Merrowick\\Merrowick Deskware\\Ventaro!\\Options");

// Two different defaults: a read that gives back either one found nothing.
struct TReads {
    bool Text = false, Integer = false, Binary = false;
    QString TextValue;
    qint32 IntegerValue = 0;
    QByteArray BinaryValue;
};

TReads ReadAll(TZTRegHive hive, const QString &key, const QString &name)
{
    TReads r;
    const QString a = ZTRegReadString(hive, key, name,
                                      QStringLiteral("\x01"
                                                     "a"));
    const QString b = ZTRegReadString(hive, key, name,
                                      QStringLiteral("\x01"
                                                     "b"));
    r.Text = a == b;
    r.TextValue = a;
    const qint32 i = ZTRegReadInteger(hive, key, name, 0x7A7A7A7A);
    const qint32 j = ZTRegReadInteger(hive, key, name, 0x5B5B5B5B);
    r.Integer = i == j;
    r.IntegerValue = i;
    const QByteArray x = ZTRegReadBinary(hive, key, name,
                                         QByteArray("\x01"
                                                    "x"));
    const QByteArray y = ZTRegReadBinary(hive, key, name,
                                         QByteArray("\x01"
                                                    "y"));
    r.Binary = x == y;
    r.BinaryValue = x;
    FUZZ_CHECK(ZTRegReadBool(hive, key, name, true) == (r.Integer ? r.IntegerValue != 0 : true), "boolean read");
    FUZZ_CHECK(ZTRegReadBool(hive, key, name, false) == (r.Integer ? r.IntegerValue != 0 : false), "boolean read");
    FUZZ_CHECK(int(r.Text) + int(r.Integer) + int(r.Binary) <= 1, "a value of two types");
    // A value of a type none of the reads knows exists all the same.
    FUZZ_CHECK(ZTRegValueExists(hive, key, name) || !(r.Text || r.Integer || r.Binary), "a value found does not exist");
    return r;
}

// The hive file gets a new modification time at every input, so no cached copy of an
// earlier input's file is taken for this one.
void PutFile(const QString &path, const QByteArray &bytes)
{
    static qint64 tick = 0;
    QDir().mkpath(QFileInfo(path).absolutePath());
    FUZZ_CHECK(fuzz::WriteFile(path, bytes), "cannot write the input file");
    QFile file(path);
    if (file.open(QIODevice::ReadWrite))
        file.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000 + ++tick), QFileDevice::FileModificationTime);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const int target = in.ConsumeIntegralInRange(0, 2);
    const std::string keyBytes = in.ConsumeRandomLengthString(64);
    const std::string nameBytes = in.ConsumeRandomLengthString(64);
    const std::string fileBytes = in.ConsumeRemainingBytesAsString();
    const QString key = ZTDecodeText(QByteArray(keyBytes.data(), qsizetype(keyBytes.size())));
    const QString name = ZTDecodeText(QByteArray(nameBytes.data(), qsizetype(nameBytes.size())));
    const QByteArray bytes(fileBytes.data(), qsizetype(fileBytes.size()));

    if (target == 2) {
        // The Run key's value is the autostart entry of that name.
        const QString runKey = QString::fromUtf16(ZTRunKey);
        PutFile(ZTAutostartFileName(QStringLiteral("VNTR")), bytes);
        const TReads r = ReadAll(TZTRegHive::CurrentUser, runKey, QStringLiteral("VNTR"));
        FUZZ_CHECK(!r.Integer && !r.Binary, "the autostart entry holds a text only");
        ReadAll(TZTRegHive::CurrentUser, runKey, name);
        // A program path written to the entry reads back as written.
        const QString program = fuzz::Root() + QStringLiteral("/my programs/ventaro");
        ZTRegWriteString(TZTRegHive::CurrentUser, runKey, QStringLiteral("VNTR"), program);
        FUZZ_CHECK(ZTRegReadString(TZTRegHive::CurrentUser, runKey, QStringLiteral("VNTR"), QString()) == program,
                   "the autostart entry does not read back");
        return 0;
    }

    const TZTRegHive hive = target == 0 ? TZTRegHive::CurrentUser : TZTRegHive::LocalMachine;
    PutFile(ZTRegHiveFileName(hive), bytes);
    ReadAll(hive, key, name);
    ReadAll(hive, OptionsKey, QStringLiteral("StartTime"));
    ReadAll(hive, QString(), name);

    // Into a hive that parses, values written read back as written, each with its type (a
    // file the settings parser refuses is left as it is, and writes to it are lost).
    if (QSettings(ZTRegHiveFileName(hive), QSettings::IniFormat).status() != QSettings::NoError)
        return 0;
    ZTRegWriteString(hive, OptionsKey, QStringLiteral("SoundFile"), name);
    ZTRegWriteInteger(hive, OptionsKey, QStringLiteral("StartTime"), qint32(bytes.size()) - 7);
    ZTRegWriteBinary(hive, OptionsKey, QStringLiteral("Placement"), bytes.left(16));
    const TReads text = ReadAll(hive, OptionsKey, QStringLiteral("SoundFile"));
    FUZZ_CHECK(text.Text && text.TextValue == name, "a text value does not read back");
    const TReads number = ReadAll(hive, OptionsKey, QStringLiteral("StartTime"));
    FUZZ_CHECK(number.Integer && number.IntegerValue == qint32(bytes.size()) - 7, "a number does not read back");
    const TReads binary = ReadAll(hive, OptionsKey, QStringLiteral("Placement"));
    FUZZ_CHECK(binary.Binary && binary.BinaryValue == bytes.left(16), "a binary value does not read back");
    ZTRegDeleteValue(hive, OptionsKey, QStringLiteral("SoundFile"));
    FUZZ_CHECK(!ZTRegValueExists(hive, OptionsKey, QStringLiteral("SoundFile")), "a deleted value still exists");
    return 0;
}
