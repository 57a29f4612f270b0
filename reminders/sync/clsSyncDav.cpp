#include "clsSyncDav.h"

#include <QHostAddress>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace syncdav {

namespace {

const QString NsDav = QStringLiteral("DAV:");
const QString NsCalDav = QStringLiteral("urn:ietf:params:xml:ns:caldav");

int StatusOfLine(const QString &line)
{
    // "HTTP/1.1 404 Not Found"
    const QStringList parts = line.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return parts.size() >= 2 ? parts[1].toInt() : 0;
}

// Reads the text of the current element and its descendants.
QString ReadText(QXmlStreamReader &x)
{
    return x.readElementText(QXmlStreamReader::IncludeChildElements);
}

// Reads an element whose only interesting child is one <href>.
QString ReadHrefChild(QXmlStreamReader &x)
{
    QString href;
    while (x.readNextStartElement()) {
        if (x.namespaceUri() == NsDav && x.name() == QLatin1String("href") && href.isEmpty())
            href = ReadText(x).trimmed();
        else
            x.skipCurrentElement();
    }
    return href;
}

struct TProps {
    QString ETag;
    QByteArray CalendarData;
    bool Collection = false;
    bool Calendar = false;
    QString PrincipalHref;
    QString HomeHref;
    QString DisplayName;
    QStringList Components;
};

void ReadProp(QXmlStreamReader &x, TProps &p)
{
    while (x.readNextStartElement()) {
        const auto ns = x.namespaceUri();
        const auto name = x.name();
        if (ns == NsDav && name == QLatin1String("getetag")) {
            p.ETag = ReadText(x).trimmed();
        } else if (ns == NsCalDav && name == QLatin1String("calendar-data")) {
            p.CalendarData = ReadText(x).toUtf8();
        } else if (ns == NsDav && name == QLatin1String("displayname")) {
            p.DisplayName = ReadText(x).trimmed();
        } else if (ns == NsDav && name == QLatin1String("resourcetype")) {
            while (x.readNextStartElement()) {
                if (x.namespaceUri() == NsDav && x.name() == QLatin1String("collection"))
                    p.Collection = true;
                else if (x.namespaceUri() == NsCalDav && x.name() == QLatin1String("calendar"))
                    p.Calendar = true;
                x.skipCurrentElement();
            }
        } else if (ns == NsDav && name == QLatin1String("current-user-principal")) {
            p.PrincipalHref = ReadHrefChild(x);
        } else if (ns == NsCalDav && name == QLatin1String("calendar-home-set")) {
            p.HomeHref = ReadHrefChild(x);
        } else if (ns == NsCalDav && name == QLatin1String("supported-calendar-component-set")) {
            while (x.readNextStartElement()) {
                if (x.name() == QLatin1String("comp"))
                    p.Components << x.attributes().value(QLatin1String("name")).toString().toUpper();
                x.skipCurrentElement();
            }
        } else {
            x.skipCurrentElement();
        }
    }
}

TDavResponse ReadResponse(QXmlStreamReader &x)
{
    TDavResponse r;
    int ownStatus = 0;
    int foundStatus = 0;
    while (x.readNextStartElement()) {
        const auto name = x.name();
        if (x.namespaceUri() != NsDav) {
            x.skipCurrentElement();
        } else if (name == QLatin1String("href")) {
            if (r.Href.isEmpty())
                r.Href = ReadText(x).trimmed();
            else
                x.skipCurrentElement();
        } else if (name == QLatin1String("status")) {
            ownStatus = StatusOfLine(ReadText(x));
        } else if (name == QLatin1String("propstat")) {
            TProps props;
            int status = 0;
            while (x.readNextStartElement()) {
                if (x.namespaceUri() == NsDav && x.name() == QLatin1String("prop"))
                    ReadProp(x, props);
                else if (x.namespaceUri() == NsDav && x.name() == QLatin1String("status"))
                    status = StatusOfLine(ReadText(x));
                else
                    x.skipCurrentElement();
            }
            // Only found properties count; those the server does not have are listed under 404.
            if (status >= 200 && status < 300) {
                foundStatus = status;
                r.ETag = props.ETag.isEmpty() ? r.ETag : props.ETag;
                if (!props.CalendarData.isEmpty())
                    r.CalendarData = props.CalendarData;
                r.Collection |= props.Collection;
                r.Calendar |= props.Calendar;
                if (!props.PrincipalHref.isEmpty())
                    r.PrincipalHref = props.PrincipalHref;
                if (!props.HomeHref.isEmpty())
                    r.HomeHref = props.HomeHref;
                if (!props.DisplayName.isEmpty())
                    r.DisplayName = props.DisplayName;
                if (!props.Components.isEmpty())
                    r.Components = props.Components;
            } else if (foundStatus == 0) {
                foundStatus = status;
            }
        } else {
            x.skipCurrentElement();
        }
    }
    r.Status = ownStatus ? ownStatus : (foundStatus ? foundStatus : 200);
    return r;
}

QByteArray Body(const std::function<void(QXmlStreamWriter &)> &fill)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.writeStartDocument();
    w.writeNamespace(NsDav, QStringLiteral("d"));
    w.writeNamespace(NsCalDav, QStringLiteral("c"));
    fill(w);
    w.writeEndDocument();
    return out;
}

QByteArray Propfind(const std::function<void(QXmlStreamWriter &)> &props)
{
    return Body([&](QXmlStreamWriter &w) {
        w.writeStartElement(NsDav, QStringLiteral("propfind"));
        w.writeStartElement(NsDav, QStringLiteral("prop"));
        props(w);
        w.writeEndElement();
        w.writeEndElement();
    });
}

} // namespace

TMultistatus ParseMultistatus(const QByteArray &xml)
{
    TMultistatus out;
    QXmlStreamReader x(xml);
    if (!x.readNextStartElement() || x.namespaceUri() != NsDav || x.name() != QLatin1String("multistatus")) {
        out.Error = x.hasError() ? x.errorString() : QStringLiteral("not a multistatus answer");
        return out;
    }
    while (x.readNextStartElement()) {
        if (x.namespaceUri() == NsDav && x.name() == QLatin1String("response"))
            out.Responses.push_back(ReadResponse(x));
        else if (x.namespaceUri() == NsDav && x.name() == QLatin1String("sync-token"))
            out.SyncToken = ReadText(x).trimmed();
        else
            x.skipCurrentElement();
    }
    if (x.hasError()) {
        out.Error = x.errorString();
        return out;
    }
    out.Ok = true;
    return out;
}

QByteArray PropfindCollectionBody()
{
    return Propfind([](QXmlStreamWriter &w) {
        w.writeEmptyElement(NsDav, QStringLiteral("resourcetype"));
        w.writeEmptyElement(NsDav, QStringLiteral("displayname"));
        w.writeEmptyElement(NsCalDav, QStringLiteral("supported-calendar-component-set"));
        w.writeEmptyElement(NsDav, QStringLiteral("current-user-principal"));
    });
}

QByteArray PropfindPrincipalBody()
{
    return Propfind([](QXmlStreamWriter &w) { w.writeEmptyElement(NsDav, QStringLiteral("current-user-principal")); });
}

QByteArray PropfindHomeBody()
{
    return Propfind([](QXmlStreamWriter &w) { w.writeEmptyElement(NsCalDav, QStringLiteral("calendar-home-set")); });
}

QByteArray PropfindEtagBody()
{
    return Propfind([](QXmlStreamWriter &w) {
        w.writeEmptyElement(NsDav, QStringLiteral("resourcetype"));
        w.writeEmptyElement(NsDav, QStringLiteral("getetag"));
    });
}

QByteArray SyncCollectionBody(const QString &token)
{
    return Body([&](QXmlStreamWriter &w) {
        w.writeStartElement(NsDav, QStringLiteral("sync-collection"));
        w.writeTextElement(NsDav, QStringLiteral("sync-token"), token);
        w.writeTextElement(NsDav, QStringLiteral("sync-level"), QStringLiteral("1"));
        w.writeStartElement(NsDav, QStringLiteral("prop"));
        w.writeEmptyElement(NsDav, QStringLiteral("getetag"));
        w.writeEndElement();
        w.writeEndElement();
    });
}

QByteArray MultigetBody(const QStringList &hrefs)
{
    return Body([&](QXmlStreamWriter &w) {
        w.writeStartElement(NsCalDav, QStringLiteral("calendar-multiget"));
        w.writeStartElement(NsDav, QStringLiteral("prop"));
        w.writeEmptyElement(NsDav, QStringLiteral("getetag"));
        w.writeEmptyElement(NsCalDav, QStringLiteral("calendar-data"));
        w.writeEndElement();
        for (const QString &href : hrefs)
            w.writeTextElement(NsDav, QStringLiteral("href"), href);
        w.writeEndElement();
    });
}

QByteArray MkcalendarBody(const QString &displayName)
{
    return Body([&](QXmlStreamWriter &w) {
        w.writeStartElement(NsCalDav, QStringLiteral("mkcalendar"));
        w.writeStartElement(NsDav, QStringLiteral("set"));
        w.writeStartElement(NsDav, QStringLiteral("prop"));
        w.writeTextElement(NsDav, QStringLiteral("displayname"), displayName);
        w.writeStartElement(NsCalDav, QStringLiteral("supported-calendar-component-set"));
        w.writeEmptyElement(NsCalDav, QStringLiteral("comp"));
        w.writeAttribute(QStringLiteral("name"), QStringLiteral("VEVENT"));
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndElement();
    });
}

QString HrefKey(const QString &href)
{
    return QUrl(href).path(QUrl::FullyDecoded);
}

QUrl AsCollection(const QUrl &url)
{
    QUrl u = url;
    if (!u.path().endsWith(QLatin1Char('/')))
        u.setPath(u.path() + QLatin1Char('/'));
    return u;
}

QUrl ResourceUrl(const QUrl &collection, const QString &name)
{
    return AsCollection(collection).resolved(QUrl(QString::fromLatin1(QUrl::toPercentEncoding(name))));
}

bool IsLoopbackHost(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

QString Printable(const QUrl &url)
{
    return url.toString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
}

QString StrongETag(const QByteArray &header)
{
    const QString tag = QString::fromLatin1(header).trimmed();
    if (tag.isEmpty() || tag.startsWith(QLatin1String("W/")))
        return {};
    return tag;
}

} // namespace syncdav
