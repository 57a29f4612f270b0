#include "ZTMapi.h"

#include "ZTApp.h"
#include "ZTCrypto.h"
#include "ZTExceptions.h"
#include "ZTFileUtils.h"
#include "ZTShellUtils.h"

#include <QByteArray>
#include <QFileInfo>
#include <QUrl>

namespace {

const QString SmtpPrefix = QStringLiteral("SMTP:");

// "Unable to send e-mail at this time."
constexpr char MailErrorStored[] = "zmHLVklG6rRWJGX3KwKq8rsOeiJZcwxprwhS7R38r46Q8VsZqXNexwCNkwLMV98=";

void AddRecipients(QList<TZTMapiRecipient> &recipients, const QStringList &lines, int recipClass)
{
    for (const QString &line : lines)
        recipients.append(TZTMapiRecipient{recipClass, line, SmtpPrefix + line});
}

// Percent-encodes a component of a mailto: URL. Addresses keep '@'; everything that could end
// a component or the query ('&', '=', '?', '#', ',', '%', blanks, line breaks) is encoded.
QByteArray Encode(const QString &text, const QByteArray &keep = QByteArray())
{
    return QUrl::toPercentEncoding(text, keep);
}

QByteArray AddressList(const QList<TZTMapiRecipient> &recipients, int recipClass)
{
    QByteArray list;
    for (const TZTMapiRecipient &recipient : recipients) {
        if (recipient.RecipClass != recipClass)
            continue;
        const QString address = ZTMapiPlainAddress(recipient.Address).trimmed();
        if (address.isEmpty())
            continue;
        if (!list.isEmpty())
            list += ',';
        list += Encode(address, "@");
    }
    return list;
}

QString WithCrLf(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

} // namespace

QString ZTMapiPlainAddress(const QString &address)
{
    return address.startsWith(SmtpPrefix, Qt::CaseInsensitive) ? address.mid(SmtpPrefix.size()) : address;
}

TZTMapiMessage TZTMapi::BuildMessage()
{
    TZTMapiMessage message;
    message.Subject = Subject;
    message.NoteText = Body;
    message.Flags = 0;
    message.Originator = TZTMapiRecipient{ZTMapiOrig, FromName, FromAdress};
    AddRecipients(message.Recipients, Recipients, ZTMapiTo);
    AddRecipients(message.Recipients, CopyTo, ZTMapiCc);
    AddRecipients(message.Recipients, BlindCopyTo, ZTMapiBcc);
    DisplayFileName.clear();
    for (const QString &path : std::as_const(AttachedFiles)) {
        const QString name = ZTExtractFileName(path);
        message.Files.append(TZTMapiAttachment{0, -1, path, name});
        DisplayFileName.append(name);
    }
    return message;
}

int TZTMapi::SendFlags() const
{
    return ShowDialog ? (ZTMapiLogonUi | ZTMapiNewSession | ZTMapiDialog) : 0;
}

QString ZTMailToUrl(const TZTMapiMessage &message)
{
    QByteArray url = "mailto:" + AddressList(message.Recipients, ZTMapiTo);
    QList<QByteArray> query;
    const QByteArray cc = AddressList(message.Recipients, ZTMapiCc);
    if (!cc.isEmpty())
        query.append("cc=" + cc);
    const QByteArray bcc = AddressList(message.Recipients, ZTMapiBcc);
    if (!bcc.isEmpty())
        query.append("bcc=" + bcc);
    if (!message.Subject.isEmpty())
        query.append("subject=" + Encode(message.Subject));
    if (!message.NoteText.isEmpty())
        query.append("body=" + Encode(WithCrLf(message.NoteText)));
    for (const TZTMapiAttachment &file : message.Files)
        query.append("attach="
                     + Encode(QUrl::fromLocalFile(QFileInfo(file.PathName).absoluteFilePath()).toString(QUrl::FullyEncoded)));
    if (!query.isEmpty())
        url += '?' + query.join('&');
    return QString::fromLatin1(url);
}

int TZTMapi::Send()
{
    int result = ZTMapiSuccess;
    {
        const TZTMapiMessage message = BuildMessage();
        for (const TZTMapiAttachment &file : message.Files) {
            if (!QFileInfo(file.PathName).isFile()) {
                result = ZTMapiAttachmentNotFound;
                break;
            }
        }
        // A mailto: composer always opens its window: the user sends (or discards) the mail
        // there, so there is no cancelling to observe here.
        if (result == ZTMapiSuccess && ShellOpen(ZTMailToUrl(message)) <= 32)
            result = ZTMapiFailure;
    }
    switch (result) {
    case ZTMapiSuccess:
        if (OnSuccess)
            OnSuccess(*this);
        break;
    case ZTMapiUserAbort:
        if (OnUserAbort)
            OnUserAbort(*this);
        break;
    default:
        if (OnMapiError)
            OnMapiError(*this, result);
        break;
    }
    return result;
}

QString ZTMailErrorMessage()
{
    return DecipherString(QString::fromLatin1(MailErrorStored));
}

void SendMailTo(const TZTApplication &application, const QString &address)
{
    ZTRaising(TZTRaise::WrapAll, ZTMailErrorMessage(), [&] {
        TZTMapi mapi;
        mapi.ShowDialog = true;
        mapi.Recipients.append(address);
        mapi.Subject = application.Title + QLatin1Char(' ') + application.Version;
        mapi.Body = QStringLiteral(" ");
        mapi.Send();
    });
}
