#include "sync/discovery.h"

#include <QXmlStreamWriter>

using namespace Qt::StringLiterals;

namespace dav {

namespace {

const QStringList kHomeProps = {davName("current-user-principal"), cardName("addressbook-home-set"),
                                calName("calendar-home-set")};

const QStringList kCollectionProps = {davName("resourcetype"), davName("displayname"),
                                      davName("supported-report-set"),
                                      calName("supported-calendar-component-set")};

QUrl asDirectory(QUrl u)
{
    if (!u.path().endsWith(u'/'))
        u.setPath(u.path() + u'/');
    return u;
}

QUrl firstHref(const Client& c, const Resource& r, const QString& prop)
{
    const Prop* p = r.prop(prop);
    if (!p || p->hrefs.isEmpty())
        return {};
    return asDirectory(c.base().resolved(QUrl(p->hrefs.first())));
}

// PROPFIND Depth 0 of the home properties at `url`, following up to five redirects.
// An empty result when the server has nothing there (404, 405, not a multistatus).
std::optional<Resource> homeProps(Client& c, QUrl url)
{
    for (int hop = 0; hop < 5; ++hop) {
        const Request r{"PROPFIND", url, propfindBody(kHomeProps), {{"Depth", "0"}}};
        Reply got = c.send(r);
        if (got.fault != Fault::None || got.status == 401 || got.status >= 500)
            c.fail(got, u"查找账户"_s);
        if (got.status >= 300 && got.status < 400 && got.location.isValid()) {
            url = got.location;
            continue;
        }
        if (got.status != 207)
            return std::nullopt;
        try {
            Multistatus m = parseMultistatus(got.body, url);
            for (Resource& res : m.responses)
                if (!res.props.empty())
                    return std::move(res);
        } catch (const Error&) {
        }
        return std::nullopt;
    }
    return std::nullopt;
}

Collection collectionOf(const Client& c, const Resource& r)
{
    Collection col;
    col.url = asDirectory(c.base().resolved(QUrl(r.href)));
    if (const Prop* p = r.prop(davName("displayname")))
        col.displayName = p->text.trimmed();
    if (const Prop* p = r.prop(davName("resourcetype"))) {
        col.addressBook = p->names.contains(cardName("addressbook"));
        col.calendar = p->names.contains(calName("calendar"));
    }
    if (const Prop* p = r.prop(calName("supported-calendar-component-set")))
        for (const QString& n : p->names)
            if (!n.startsWith(u'{'))
                col.components << n.toUpper();
    if (const Prop* p = r.prop(davName("supported-report-set")))
        col.syncReport = p->names.contains(davName("sync-collection"));
    return col;
}

QUrl freePath(const QUrl& home, const QString& slug, int attempt)
{
    const QString leaf = attempt == 0 ? slug : slug + u'-' + QString::number(attempt + 1);
    return asDirectory(home).resolved(QUrl(leaf + u'/'));
}

Collection make(Client& c, const QUrl& home, const QString& slug, const QByteArray& verb,
                const std::function<QByteArray()>& body)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        const QUrl url = freePath(home, slug, attempt);
        Reply got = c.send({verb, url, body(), {}});
        // 405: something is there already; try the next path.
        if (got.fault == Fault::None && got.status == 405)
            continue;
        if (!got.ok())
            c.fail(got, u"新建集合 "_s + pathOf(url));
        return collectionAt(c, url);
    }
    throw Error(Fault::Protocol, u"无法在 %1 下新建集合。"_s.arg(pathOf(home)));
}

} // namespace

Homes discover(Client& c, const QUrl& start)
{
    std::optional<Resource> found = homeProps(c, start);
    QUrl principal = found ? firstHref(c, *found, davName("current-user-principal")) : QUrl();
    if (principal.isEmpty()) {
        // RFC 6764: the well-known URLs of the host.
        for (const char* wk : {"/.well-known/carddav", "/.well-known/caldav"}) {
            QUrl u = start;
            u.setPath(QString::fromLatin1(wk));
            u.setQuery(QString());
            found = homeProps(c, u);
            if (found)
                principal = firstHref(c, *found, davName("current-user-principal"));
            if (!principal.isEmpty())
                break;
        }
    }
    if (principal.isEmpty()) {
        if (!found)
            throw Error(Fault::Protocol, u"在 %1 没有找到 CardDAV/CalDAV 服务：请检查网址。"_s.arg(
                                             start.toDisplayString(QUrl::RemoveUserInfo)));
        principal = asDirectory(start);
    }
    Homes h;
    h.principal = principal;
    std::optional<Resource> p = homeProps(c, principal);
    if (p) {
        h.cards = firstHref(c, *p, cardName("addressbook-home-set"));
        h.calendars = firstHref(c, *p, calName("calendar-home-set"));
    }
    if (h.cards.isEmpty())
        h.cards = principal;
    if (h.calendars.isEmpty())
        h.calendars = principal;
    return h;
}

std::vector<Collection> collections(Client& c, const QUrl& home)
{
    std::vector<Collection> out;
    const Multistatus m = c.propfind(asDirectory(home), 1, kCollectionProps);
    const QString self = pathOf(asDirectory(home));
    for (const Resource& r : m.responses) {
        Collection col = collectionOf(c, r);
        if (pathOf(col.url) != self && (col.addressBook || col.calendar))
            out.push_back(std::move(col));
    }
    return out;
}

Collection collectionAt(Client& c, const QUrl& url)
{
    const Multistatus m = c.propfind(asDirectory(url), 0, kCollectionProps);
    for (const Resource& r : m.responses) {
        Collection col = collectionOf(c, r);
        if (col.addressBook || col.calendar)
            return col;
    }
    throw Error(Fault::Protocol, u"%1 不是通讯录，也不是日历。"_s.arg(pathOf(url)));
}

Collection makeAddressBook(Client& c, const QUrl& home, const QString& slug, const QString& name)
{
    return make(c, home, slug, "MKCOL", [&] {
        QByteArray out;
        QXmlStreamWriter w(&out);
        w.writeStartDocument();
        w.writeNamespace("DAV:"_L1, "d"_L1);
        w.writeNamespace("urn:ietf:params:xml:ns:carddav"_L1, "card"_L1);
        w.writeStartElement("DAV:"_L1, "mkcol"_L1);
        w.writeStartElement("DAV:"_L1, "set"_L1);
        w.writeStartElement("DAV:"_L1, "prop"_L1);
        w.writeStartElement("DAV:"_L1, "resourcetype"_L1);
        w.writeEmptyElement("DAV:"_L1, "collection"_L1);
        w.writeEmptyElement("urn:ietf:params:xml:ns:carddav"_L1, "addressbook"_L1);
        w.writeEndElement();
        w.writeTextElement("DAV:"_L1, "displayname"_L1, name);
        w.writeEndDocument();
        return out;
    });
}

Collection makeCalendar(Client& c, const QUrl& home, const QString& slug, const QString& name,
                        const QStringList& components)
{
    return make(c, home, slug, "MKCALENDAR", [&] {
        QByteArray out;
        QXmlStreamWriter w(&out);
        w.writeStartDocument();
        w.writeNamespace("DAV:"_L1, "d"_L1);
        w.writeNamespace("urn:ietf:params:xml:ns:caldav"_L1, "cal"_L1);
        w.writeStartElement("urn:ietf:params:xml:ns:caldav"_L1, "mkcalendar"_L1);
        w.writeStartElement("DAV:"_L1, "set"_L1);
        w.writeStartElement("DAV:"_L1, "prop"_L1);
        w.writeTextElement("DAV:"_L1, "displayname"_L1, name);
        w.writeStartElement("urn:ietf:params:xml:ns:caldav"_L1,
                            "supported-calendar-component-set"_L1);
        for (const QString& comp : components) {
            w.writeEmptyElement("urn:ietf:params:xml:ns:caldav"_L1, "comp"_L1);
            w.writeAttribute("name"_L1, comp);
        }
        w.writeEndDocument();
        return out;
    });
}

} // namespace dav
