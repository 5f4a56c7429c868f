#include "sync/davitems.h"

using namespace Qt::StringLiterals;

namespace dav {

namespace {

// A server that never ends its parts is not followed for ever.
constexpr int kMaxParts = 10000;

// Sorts the responses of a listing into `out`: members, removed members, refused hrefs.
void take(const QUrl& collection, std::vector<Resource>& responses, Changes& out, bool* truncated)
{
    const QString self = pathOf(collection);
    for (Resource& res : responses) {
        if (res.href == self || res.href + u'/' == self || res.href == self + u'/') {
            if (truncated && res.status == 507)
                *truncated = true;
            continue;
        }
        if (!isMemberOf(collection, res.href)) {
            out.refused << res.href;
            continue;
        }
        if (res.status == 404) {
            out.removed << res.href;
            continue;
        }
        const Prop* t = res.prop(davName("resourcetype"));
        if (t && t->names.contains(davName("collection")))
            continue;
        const Prop* e = res.prop(davName("getetag"));
        out.present.push_back({res.href, e ? e->text.trimmed() : QString()});
    }
}

} // namespace

std::optional<Changes> syncCollection(Client& c, const QUrl& collection, const QString& token)
{
    Changes out;
    out.token = token;
    for (int part = 0; part < kMaxParts; ++part) {
        const Request r{
            "REPORT", collection, syncCollectionBody(out.token, false), {{"Depth", "0"}}};
        Reply got = c.send(r);
        if (got.fault != Fault::None || got.status == 401)
            c.fail(got, u"查询变化"_s);
        if (got.status != 207)
            return std::nullopt;
        Multistatus m = parseMultistatus(got.body, collection);
        got.body.clear();
        bool truncated = false;
        take(collection, m.responses, out, &truncated);
        if (m.syncToken.isEmpty())
            return std::nullopt; // not a usable answer: no token to go on from
        const bool moved = m.syncToken != out.token;
        out.token = m.syncToken;
        if (!truncated || !moved)
            return out;
    }
    return out;
}

Changes listMembers(Client& c, const QUrl& collection)
{
    Multistatus m = c.propfind(collection, 1, {davName("getetag"), davName("resourcetype")});
    Changes out;
    take(collection, m.responses, out, nullptr);
    return out;
}

namespace {

void multigetPart(Client& c, const QUrl& collection, const QStringList& batch, bool cards,
                  const std::function<void(std::vector<Item>&&)>& take)
{
    const QString dataProp = cards ? cardName("address-data") : calName("calendar-data");
    Multistatus m;
    try {
        m = c.report(collection, 1, multigetBody(batch, cards));
    } catch (const Error& e) {
        if (e.fault() != Fault::TooLarge)
            throw;
        if (batch.size() == 1) {
            take({Item{batch.first(), {}, {}, true}});
            return;
        }
        const qsizetype half = batch.size() / 2;
        multigetPart(c, collection, batch.mid(0, half), cards, take);
        multigetPart(c, collection, batch.mid(half), cards, take);
        return;
    }
    QHash<QString, Item> got;
    for (const Resource& res : m.responses) {
        const Prop* d = res.prop(dataProp);
        if (res.status != 200 || !d)
            continue;
        const Prop* e = res.prop(davName("getetag"));
        got.insert(res.href, {res.href, e ? e->text.trimmed() : QString(), d->text.toUtf8()});
    }
    m.responses.clear();
    std::vector<Item> items;
    items.reserve(std::size_t(batch.size()));
    for (const QString& h : batch) {
        auto it = got.find(h);
        items.push_back(it != got.end() ? std::move(*it) : Item{h, {}, {}});
    }
    take(std::move(items));
}

} // namespace

void multiget(Client& c, const QUrl& collection, const QStringList& hrefs, bool cards,
              const std::function<void(std::vector<Item>&&)>& take)
{
    for (qsizetype from = 0; from < hrefs.size(); from += kMultigetBatch)
        multigetPart(c, collection, hrefs.mid(from, kMultigetBatch), cards, take);
}

} // namespace dav
