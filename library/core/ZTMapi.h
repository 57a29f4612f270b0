#pragma once
// Mail composition. TZTMapi builds a mail message (subject, body, originator, To, CC and BCC
// recipients, attached files) and hands it to the desktop's mail composer as a mailto: URL,
// through the shell's opener (ShellOpen), so the user reviews and sends it there.
// SendMailTo composes a mail to one address with the product's title and version as subject.

#include <QString>
#include <QStringList>

#include <functional>

class TZTApplication;

// Recipient classes of a message.
inline constexpr int ZTMapiOrig = 0;
inline constexpr int ZTMapiTo = 1;
inline constexpr int ZTMapiCc = 2;
inline constexpr int ZTMapiBcc = 3;

// Send results: 0 success, 1 the user cancelled, anything else a failure.
inline constexpr int ZTMapiSuccess = 0;
inline constexpr int ZTMapiUserAbort = 1;
inline constexpr int ZTMapiFailure = 2;
inline constexpr int ZTMapiAttachmentNotFound = 11;

// Asks the composer to show its window (the only way a mailto: composer works).
inline constexpr int ZTMapiLogonUi = 0x01;
inline constexpr int ZTMapiNewSession = 0x02;
inline constexpr int ZTMapiDialog = 0x08;

struct TZTMapiRecipient {
    int RecipClass = ZTMapiTo;
    QString Name;
    QString Address; // "SMTP:" + the address
};

struct TZTMapiAttachment {
    int Flags = 0;
    int Position = -1; // not placed in the body text
    QString PathName;
    QString FileName; // the file-name part of PathName
};

struct TZTMapiMessage {
    QString Subject;
    QString NoteText;
    QString MessageType;
    QString DateReceived;
    QString ConversationId;
    int Flags = 0;
    TZTMapiRecipient Originator;
    QList<TZTMapiRecipient> Recipients; // To, then CC, then BCC
    QList<TZTMapiAttachment> Files;
};

class TZTMapi {
public:
    using TZTMapiEvent = std::function<void(TZTMapi &sender)>;
    using TZTMapiErrorEvent = std::function<void(TZTMapi &sender, int errorCode)>;

    TZTMapi() = default;

    QString Subject;
    QString Body;
    QString FromName;
    QString FromAdress;
    QStringList Recipients;
    QStringList CopyTo;
    QStringList BlindCopyTo;
    QStringList AttachedFiles;
    QStringList DisplayFileName;
    bool ShowDialog = false;
    bool UseAppHandle = false;

    TZTMapiEvent OnUserAbort;
    TZTMapiErrorEvent OnMapiError;
    TZTMapiEvent OnSuccess;

    // The message of the current properties. Also refills DisplayFileName with the file-name
    // parts of AttachedFiles.
    TZTMapiMessage BuildMessage();
    // The flags the send passes: logon UI + new session + dialog when ShowDialog, else 0.
    int SendFlags() const;

    // Builds the message and hands it to the mail composer, then fires OnSuccess (0),
    // OnUserAbort (1) or OnMapiError (any other code); an event without a handler is skipped.
    // Returns the result: ZTMapiAttachmentNotFound when an attached file does not exist (nothing
    // is opened), ZTMapiFailure when the desktop has no composer for mailto: URLs.
    int Send();
};

// The mailto: URL of a message (RFC 6068): the To addresses as the path, then cc, bcc,
// subject and body, and one attach parameter per attached file (a file: URL, understood by
// the common composers). Line breaks of the body are sent as CR LF.
QString ZTMailToUrl(const TZTMapiMessage &message);
// The plain address of a recipient's address ("SMTP:" removed).
QString ZTMapiPlainAddress(const QString &address);

// Composes a mail to `address`: subject Title + " " + Version, body a single space, the
// composer's window shown. The outcome of the send is not examined. Raises
// EZTException(<the mail failure message>, cause, 1) when anything fails on the way.
void SendMailTo(const TZTApplication &application, const QString &address);
// The mail failure message (kept enciphered in the program).
QString ZTMailErrorMessage();
