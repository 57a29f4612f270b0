#include "ZTCrypto.h"

#include "ZTExceptions.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QMessageAuthenticationCode>

namespace {

// The key: 22 letters and digits.
const QByteArray CipherKey = QByteArrayLiteral("Mw4Kt9Qz2Rv7Lp3Xh8Nc5B");

constexpr qsizetype NonceSize = 12;

QByteArray Nonce(const QByteArray &plain)
{
    return QMessageAuthenticationCode::hash(QByteArrayLiteral("nonce:") + plain, CipherKey, QCryptographicHash::Sha256)
        .left(NonceSize);
}

QByteArray Apply(const QByteArray &nonce, const QByteArray &input)
{
    QByteArray output = input;
    QByteArray block;
    for (qsizetype i = 0; i < output.size(); ++i) {
        const qsizetype offset = i % 32;
        if (offset == 0) {
            QCryptographicHash hash(QCryptographicHash::Sha256);
            hash.addData(CipherKey);
            hash.addData(nonce);
            const quint32 counter = quint32(i / 32);
            const char counterBytes[4] = {char(counter >> 24), char(counter >> 16), char(counter >> 8), char(counter)};
            hash.addData(QByteArrayView(counterBytes, 4));
            block = hash.result();
        }
        output[i] = char(output.at(i) ^ block.at(offset));
    }
    return output;
}

} // namespace

QString EncipherString(const QString &plain)
{
    const QByteArray bytes = plain.toUtf8();
    const QByteArray nonce = Nonce(bytes);
    return QString::fromLatin1((nonce + Apply(nonce, bytes)).toBase64());
}

QString DecipherString(const QString &stored)
{
    const auto decoded = QByteArray::fromBase64Encoding(stored.trimmed().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() < NonceSize)
        throw EZTException(QStringLiteral("Invalid enciphered text."), QStringLiteral("The text is not in Base64 form."), 1);
    const QByteArray nonce = decoded.decoded.left(NonceSize);
    const QByteArray plain = Apply(nonce, decoded.decoded.mid(NonceSize));
    if (Nonce(plain) != nonce)
        throw EZTException(QStringLiteral("Invalid enciphered text."),
                           QStringLiteral("The text was not enciphered with this program's key."), 1);
    return QString::fromUtf8(plain);
}
