#pragma once
// The WebDAV/CalDAV side of the sync: the request bodies, the reading of multistatus answers,
// the address rules (plain http only for this computer) and the failure texts.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <vector>

namespace syncdav {

// One <response> of a multistatus answer, with what the sync reads from its 200 properties.
struct TDavResponse {
    QString Href;     // as the server wrote it, percent-encoded path
    int Status = 200; // the response's own status, else that of its found properties
    QString ETag;     // getetag, quotes kept
    QByteArray CalendarData;
    bool Collection = false;
    bool Calendar = false;
    QString PrincipalHref; // current-user-principal
    QString HomeHref;      // calendar-home-set
    QString DisplayName;
    QStringList Components; // supported-calendar-component-set (empty: not given)
};

struct TMultistatus {
    bool Ok = false; // parsed as a multistatus
    QString Error;   // why not
    std::vector<TDavResponse> Responses;
    QString SyncToken;
};

TMultistatus ParseMultistatus(const QByteArray &xml);

// Request bodies.
QByteArray PropfindCollectionBody(); // resourcetype, displayname, component set, getetag
QByteArray PropfindPrincipalBody();  // current-user-principal
QByteArray PropfindHomeBody();       // calendar-home-set
QByteArray PropfindEtagBody();       // getetag only
QByteArray SyncCollectionBody(const QString &token);
QByteArray MultigetBody(const QStringList &hrefs);
QByteArray MkcalendarBody(const QString &displayName);

// The path of an href or URL, percent-decoded, as the key the state keeps.
QString HrefKey(const QString &href);
// The URL of a resource named `name` inside the collection.
QUrl ResourceUrl(const QUrl &collection, const QString &name);
// The collection's URL with a trailing slash.
QUrl AsCollection(const QUrl &url);

// Whether the host is this computer (localhost, 127.0.0.0/8, ::1).
bool IsLoopbackHost(const QString &host);
// The URL without user name and password, for messages.
QString Printable(const QUrl &url);
// An ETag that names the exact bytes (not weak); empty when none.
QString StrongETag(const QByteArray &header);

} // namespace syncdav
