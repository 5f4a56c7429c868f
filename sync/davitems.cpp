#include "sync/davitems.h"

#include <QSet>

using namespace Qt::StringLiterals;

namespace dav {

namespace {

bool isCollectionItself(const QUrl& collection, const QString& href)
{
    QString self = pathOf(collection);
    if (!self.endsWith(u'/'))
        self += u'/';
    return href == self || href + u'/' == self;
}

} // namespace

std::optional<Changes> syncCollection(Client& c, const QUrl& collection, const QString& token)
{
    const Request r{"REPORT", collection, syncCollectionBody(token, false), {{"Depth", "0"}}};
    Reply got = c.send(r);
    if (got.fault != Fault::None || got.status == 401)
        c.fail(got, u"查询变化"_s);
    if (got.status != 207)
        return std::nullopt;
    Multistatus m = parseMultistatus(got.body, collection);
    Changes out;
    out.token = m.syncToken;
    for (Resource& res : m.responses) {
        if (isCollectionItself(collection, res.href))
            continue;
        if (res.status == 404) {
            out.removed << res.href;
            continue;
        }
        const Prop* e = res.prop(davName("getetag"));
        out.present.push_back({res.href, e ? e->text.trimmed() : QString()});
    }
    if (out.token.isEmpty())
        return std::nullopt; // not a usable answer: no token to go on from
    return out;
}

std::vector<Member> listMembers(Client& c, const QUrl& collection)
{
    const Multistatus m = c.propfind(collection, 1, {davName("getetag"), davName("resourcetype")});
    std::vector<Member> out;
    for (const Resource& res : m.responses) {
        if (isCollectionItself(collection, res.href))
            continue;
        const Prop* t = res.prop(davName("resourcetype"));
        if (t && t->names.contains(davName("collection")))
            continue;
        const Prop* e = res.prop(davName("getetag"));
        out.push_back({res.href, e ? e->text.trimmed() : QString()});
    }
    return out;
}

void multiget(Client& c, const QUrl& collection, const QStringList& hrefs, bool cards,
              const std::function<void(std::vector<Item>&&)>& take)
{
    const QString dataProp = cards ? cardName("address-data") : calName("calendar-data");
    for (qsizetype from = 0; from < hrefs.size(); from += kMultigetBatch) {
        const QStringList batch = hrefs.mid(from, kMultigetBatch);
        const Multistatus m = c.report(collection, 1, multigetBody(batch, cards));
        QHash<QString, Item> got;
        for (const Resource& res : m.responses) {
            const Prop* d = res.prop(dataProp);
            if (res.status != 200 || !d)
                continue;
            const Prop* e = res.prop(davName("getetag"));
            got.insert(res.href, {res.href, e ? e->text.trimmed() : QString(), d->text.toUtf8()});
        }
        std::vector<Item> items;
        items.reserve(batch.size());
        for (const QString& h : batch) {
            auto it = got.find(h);
            items.push_back(it != got.end() ? std::move(*it) : Item{h, {}, {}});
        }
        take(std::move(items));
    }
}

} // namespace dav
