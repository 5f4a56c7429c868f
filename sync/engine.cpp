#include "sync/engine.h"

#include "modul/uids.h"
#include "sync/davitems.h"
#include "sync/discovery.h"
#include "sync/local.h"
#include "sync/state.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSet>
#include <QThread>
#include <QUuid>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ctsync {

namespace {

constexpr Kind kKinds[] = {Kind::Card, Kind::Meeting, Kind::Diary};

uids::Kind uidKind(Kind k)
{
    return k == Kind::Card      ? uids::Kind::Card
           : k == Kind::Meeting ? uids::Kind::Meeting
                                : uids::Kind::Diary;
}

QString kindText(Kind k)
{
    return k == Kind::Card ? u"名片"_s : k == Kind::Meeting ? u"会议"_s : u"日记"_s;
}

QString stamp(const QDateTime& t)
{
    return t.toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

QByteArray contentType(Kind k)
{
    return k == Kind::Card ? "text/vcard; charset=utf-8" : "text/calendar; charset=utf-8";
}

// ------------------------------------------------------------------ setup

bool named(const dav::Collection& c, const QString& want)
{
    return c.displayName == want || dav::pathOf(c.url) == want || c.url.toString() == want ||
           dav::pathOf(c.url).section(u'/', -2, -2) == want;
}

// Puts a small item into a collection and deletes it again: proves reading and writing.
void probe(dav::Client& c, const dav::Collection& col, Kind kind, const Context& cx)
{
    const QString uid = u"ctwork-probe-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
    Row row = kind == Kind::Card ? Row{u"同步检查"_s}
              : kind == Kind::Meeting
                  ? Row{cx.today.toString(u"yyyy-MM-dd"_s), u"同步检查"_s, QString(),
                        cx.today.toString(u"yyyy-MM-dd"_s), u"9"_s,        u"0"_s}
                  : Row{cx.today.toString(u"yyyy-MM-dd"_s), u"同步检查"_s};
    while (kind == Kind::Card && row.size() < 21)
        row << QString();
    const QByteArray text = build(kind, row, uid, {}, {}, cx);
    const QUrl url = col.url.resolved(QUrl(hrefName(kind, uid)));
    dav::Reply put =
        c.send({"PUT", url, text, {{"Content-Type", contentType(kind)}, {"If-None-Match", "*"}}});
    if (!put.ok())
        c.fail(put, u"在“%1”里写入"_s.arg(col.displayName));
    c.propfind(col.url, 0, {dav::davName("getetag")});
    dav::Reply del = c.send({"DELETE", url, {}, {}});
    if (!del.ok() && del.status != 404)
        c.fail(del, u"在“%1”里删除"_s.arg(col.displayName));
}

} // namespace

SetupResult setup(adodb::Connection& db, const SetupRequest& r, const Context& cx)
{
    dav::Client c(r.url, r.options);
    const dav::Homes homes = dav::discover(c, r.url);
    std::vector<dav::Collection> books = dav::collections(c, homes.cards);
    std::vector<dav::Collection> cals =
        homes.calendars == homes.cards ? books : dav::collections(c, homes.calendars);
    SetupResult out;
    auto pick = [&](const std::vector<dav::Collection>& in, const QString& want,
                    const QString& fallback, bool book,
                    const QString& comp) -> std::optional<dav::Collection> {
        const QString name = want.isEmpty() ? fallback : want;
        for (const dav::Collection& col : in)
            if ((book ? col.addressBook : col.holds(comp)) && named(col, name))
                return col;
        if (!want.isEmpty() && (want.contains(u'/'))) {
            dav::Collection col = dav::collectionAt(c, c.resolve(want));
            if (book ? col.addressBook : col.holds(comp))
                return col;
            throw dav::Error(
                dav::Fault::Protocol,
                u"%1 不是%2。"_s.arg(want, book ? u"通讯录"_s : u"能放这类条目的日历"_s));
        }
        return std::nullopt;
    };
    auto book = pick(books, r.addressBook, kCardsName, true, {});
    if (!book) {
        book = dav::makeAddressBook(c, homes.cards, u"ctwork-cards"_s,
                                    r.addressBook.isEmpty() ? kCardsName : r.addressBook);
        out.made << book->displayName;
    }
    auto meet = pick(cals, r.calendar, kMeetingsName, false, u"VEVENT"_s);
    if (!meet) {
        meet = dav::makeCalendar(c, homes.calendars, u"ctwork-meetings"_s,
                                 r.calendar.isEmpty() ? kMeetingsName : r.calendar, {u"VEVENT"_s});
        out.made << meet->displayName;
        cals.push_back(*meet);
    }
    auto diary = pick(cals, r.journal, kDiaryName, false, u"VJOURNAL"_s);
    if (!diary) {
        diary = dav::makeCalendar(c, homes.calendars, u"ctwork-diary"_s,
                                  r.journal.isEmpty() ? kDiaryName : r.journal, {u"VJOURNAL"_s});
        out.made << diary->displayName;
    }
    probe(c, *book, Kind::Card, cx);
    probe(c, *meet, Kind::Meeting, cx);
    probe(c, *diary, Kind::Diary, cx);

    state::ensureTables(db);
    uids::ensureTables(db);
    adodb::Transaction t(db);
    state::forget(db);
    state::Account a;
    a.url = r.url.toString();
    a.user = r.options.user;
    a.caFile = r.options.caFile;
    a.allowHttp = r.options.allowHttp;
    a.created = stamp(cx.now);
    state::saveAccount(db, a);
    state::saveCollection(db, Kind::Card, {book->url.toString(), {}, book->syncReport});
    state::saveCollection(db, Kind::Meeting, {meet->url.toString(), {}, meet->syncReport});
    state::saveCollection(db, Kind::Diary, {diary->url.toString(), {}, diary->syncReport});
    t.commit();
    out.cards = book->url.toString();
    out.meetings = meet->url.toString();
    out.diary = diary->url.toString();
    out.journalShared = meet->url == diary->url;
    return out;
}

// ------------------------------------------------------------------ the sync

bool isMassDelete(qint64 deletions, qint64 count)
{
    if (deletions <= 0)
        return false;
    return (count >= 3 && deletions * 2 > count) || (count >= 2 && deletions >= count);
}

QString Report::summary() const
{
    QString s = u"上传新记录 %1，下载新记录 %2，上传修改 %3，下载修改 %4，删除服务器上 %5，"
                "删除本机 %6，冲突 %7，跳过 %8"_s.arg(uploaded)
                    .arg(downloaded)
                    .arg(changedUp)
                    .arg(changedDown)
                    .arg(deletedUp)
                    .arg(deletedDown)
                    .arg(conflicts)
                    .arg(skipped.size());
    return s;
}

// ------------------------------------------------------------------ one at a time

QString Busy::message()
{
    return u"另一个同步（澄桐工作管理的后台同步或另一个 ctdb sync）正在进行，这次没有同步；"
           "请稍后再试。"_s;
}

RunLock::RunLock(const QString& dbFile, int waitMs, const std::function<void()>& waiting)
{
    const QByteArray path = QFile::encodeName(dbFile + u".sync-lock"_s);
    m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0)
        return; // a folder we cannot write to: the sync fails at its first write anyway
    QDeadlineTimer deadline(waitMs);
    bool told = false;
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return;
        if (deadline.hasExpired()) {
            ::close(m_fd);
            m_fd = -1;
            throw Busy();
        }
        if (!told && waiting)
            waiting();
        told = true;
        QThread::msleep(100); // polling for the other's end; bounded by the deadline
    }
}

RunLock::~RunLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // lets the lock go
}

namespace {

// Items fetched, applied and uploaded at a time: what a sync holds in memory.
constexpr int kBatch = 200;

// What the server side of one kind holds that is new to us: hrefs only, no texts.
struct Listing {
    Kind kind;
    QUrl url;
    QString token;       // to keep once everything is applied
    QStringList fetch;   // new or changed members
    QStringList removed; // hrefs gone that we knew
    qint64 localDeletes = 0;
};

class Sync {
public:
    Sync(adodb::Connection& db, const RunOptions& o, const Context& cx) : m_db(db), m_o(o), m_cx(cx)
    {
    }

    Report run()
    {
        const RunLock lock(m_db.fileName(), m_o.lockWaitMs, m_o.waiting);
        state::ensureTables(m_db);
        uids::ensureTables(m_db);
        const auto acc = state::account(m_db);
        if (!acc)
            throw dav::Error(dav::Fault::Protocol,
                             u"还没有设置同步账户：请先运行“ctdb sync setup”。"_s);
        dav::Options opt = m_o.dav;
        if (opt.caFile.isEmpty())
            opt.caFile = acc->caFile;
        opt.allowHttp = opt.allowHttp || acc->allowHttp;
        if (opt.user.isEmpty())
            opt.user = acc->user;
        m_client = std::make_unique<dav::Client>(QUrl(acc->url), opt);

        std::vector<Listing> lists;
        for (Kind k : kKinds)
            lists.push_back(list(k));
        qint64 deletes = 0;
        for (const Listing& p : lists) {
            const qint64 count = local::count(m_db, p.kind);
            deletes += p.localDeletes;
            if (!m_o.allowMassDelete && isMassDelete(p.localDeletes, count))
                throw MassDelete(
                    u"这次同步会删除本机 %1 条%2中的 %3 条（服务器上的集合被清空、换掉，"
                    "或者账户不对）。同步已拒绝，什么也没有改动。确实要删除时，"
                    "加 --allow-mass-delete 再同步一次。"_s.arg(count)
                        .arg(kindText(p.kind))
                        .arg(p.localDeletes));
        }
        if ((deletes > 0 || !acc->firstDone) && m_o.backup) {
            m_o.backup();
            m_report.backedUp = true;
        }
        for (const Listing& p : lists)
            apply(p);
        for (Kind k : kKinds) {
            if (!push(k))
                continue;
            // The token taken before our uploads is stale: a server whose tokens name
            // states (Xandikos: a git tree) would take a collection that came back to
            // that state for unchanged. Asking again costs a listing of our own
            // uploads (their ETags match) and brings what changed meanwhile.
            const Listing again = list(k);
            if (!m_o.allowMassDelete && isMassDelete(again.localDeletes, local::count(m_db, k)))
                continue; // the next sync refuses it with the message
            if (again.localDeletes > 0 && !m_report.backedUp && m_o.backup) {
                m_o.backup();
                m_report.backedUp = true;
            }
            apply(again);
        }
        state::markFirstDone(m_db);
        return m_report;
    }

private:
    dav::Client& client() { return *m_client; }

    void progress(const QString& what, qint64 done, qint64 total)
    {
        if (m_o.progress)
            m_o.progress(what, done, total);
    }

    // ---------------------------------------------------------------- server -> here

    Listing list(Kind kind)
    {
        const auto col = state::collection(m_db, kind);
        if (!col)
            throw dav::Error(dav::Fault::Protocol,
                             u"同步账户不完整：请重新运行“ctdb sync setup”。"_s);
        Listing p{kind, QUrl(col->url), {}, {}, {}, 0};
        progress(u"查询服务器上的%1"_s.arg(kindText(kind)), 0, -1);

        std::optional<dav::Changes> changes;
        bool full = true;
        if (col->syncReport) {
            if (!col->token.isEmpty()) {
                changes = dav::syncCollection(client(), p.url, col->token);
                full = !changes;
            }
            if (!changes)
                changes = dav::syncCollection(client(), p.url, {});
        }
        if (!changes) {
            changes = dav::listMembers(client(), p.url);
            full = true;
        }
        p.token = changes->token;
        for (const QString& h : changes->refused)
            m_report.skipped << u"服务器列出的%1 %2：不在集合 %3 里，没有理会"_s.arg(
                kindText(kind), h, dav::pathOf(p.url));

        const QHash<QString, QString> known = state::etags(m_db, kind);
        const QHash<QString, QString> skips = state::skipped(m_db, kind);
        QSet<QString> present;
        for (const dav::Member& m : changes->present) {
            if (full)
                present.insert(m.href);
            auto k = known.constFind(m.href);
            if (k != known.constEnd() && !m.etag.isEmpty() && *k == m.etag)
                continue;
            auto s = skips.constFind(m.href);
            if (s != skips.constEnd() && !m.etag.isEmpty() && *s == m.etag)
                continue;
            p.fetch << m.href;
        }
        QStringList gone = changes->removed;
        changes.reset();
        if (full)
            for (auto it = known.constBegin(); it != known.constEnd(); ++it)
                if (!present.contains(it.key()))
                    gone << it.key();
        for (const QString& h : gone) {
            if (!known.contains(h)) {
                state::dropSkip(m_db, kind, h);
                continue;
            }
            p.removed << h;
            const auto k = state::itemAt(m_db, kind, h);
            const auto row = k ? local::find(m_db, kind, k->rec) : std::nullopt;
            if (row && rowHash(*row) == k->hash)
                ++p.localDeletes;
        }
        return p;
    }

    // Fetches the texts a batch at a time; each batch is applied in one transaction
    // (every record with its state), then let go.
    void apply(const Listing& p)
    {
        const Kind kind = p.kind;
        qint64 done = 0;
        dav::multiget(
            client(), p.url, p.fetch, kind == Kind::Card, [&](std::vector<dav::Item>&& items) {
                adodb::Transaction t(m_db);
                for (const dav::Item& it : items) {
                    progress(u"下载%1"_s.arg(kindText(kind)), ++done, qint64(p.fetch.size()));
                    if (it.tooLarge)
                        m_report.skipped << u"服务器上的%1 %2：太大（超过 %3 MB），没有下载"_s
                                                .arg(kindText(kind), it.href)
                                                .arg(dav::kMaxBody / (1024 * 1024));
                    else if (!it.data.isEmpty())
                        applyOne(kind, it);
                }
                t.commit();
            });
        for (qsizetype from = 0; from < p.removed.size(); from += kBatch) {
            adodb::Transaction t(m_db);
            for (const QString& href : p.removed.mid(from, kBatch))
                applyRemoved(kind, href);
            t.commit();
        }
        if (!p.token.isEmpty())
            state::saveToken(m_db, kind, p.token);
    }

    // The record a server item belongs to: by its href, else by its UID.
    std::optional<state::Item> ownerOf(Kind kind, const QString& href, const QString& uid)
    {
        if (auto at = state::itemAt(m_db, kind, href))
            return at;
        if (uid.isEmpty())
            return std::nullopt;
        const auto rec = uids::recordOf(m_db, uidKind(kind), uid);
        if (!rec)
            return std::nullopt;
        if (auto other = state::itemOf(m_db, kind, *rec))
            return other; // the record is synced at another href
        return state::Item{*rec, {}, {}, {}, {}, {}, {}};
    }

    // In the caller's transaction.
    void applyOne(Kind kind, const dav::Item& it)
    {
        const Parsed p = parse(kind, it.data, m_cx);
        if (p.state != Parsed::Ok) {
            state::putSkip(m_db, kind, it.href, it.etag, p.reason);
            if (p.state == Parsed::Skip)
                m_report.skipped << u"服务器上的%1 %2：%3"_s.arg(kindText(kind), it.href, p.reason);
            return;
        }
        const QString uid = p.uid.isEmpty() ? it.href : p.uid;
        std::optional<state::Item> owner = ownerOf(kind, it.href, uid);
        if (kind == Kind::Diary && (!owner || owner->rec != p.row.value(0))) {
            applyDiaryByDate(it, p, uid, owner);
            return;
        }
        if (owner && !owner->href.isEmpty() && owner->href != it.href) {
            // One record at two places on the server: the second one is passed over.
            state::putSkip(m_db, kind, it.href, it.etag, u"同一个 UID 出现了两次"_s);
            m_report.skipped << u"服务器上的%1 %2：UID %3 已在 %4"_s.arg(kindText(kind), it.href,
                                                                         uid, owner->href);
            return;
        }
        const std::optional<Row> here = owner ? local::find(m_db, kind, owner->rec) : std::nullopt;
        state::Item item{owner ? owner->rec : QString(), it.href, it.etag, it.data, {}, {}, {}};
        if (!here) {
            // New on the server, or deleted here and changed there: it comes (back).
            if (owner)
                uids::forget(m_db, uidKind(kind), owner->rec);
            item.rec = local::insert(m_db, kind, p.row, m_cx.now);
            uids::remember(m_db, uidKind(kind), item.rec, uid);
            ++m_report.downloaded;
        } else if (!owner->sent.isEmpty() && owner->href == it.href &&
                   parse(kind, owner->sent, m_cx).row == p.row) {
            // Our own upload, taken by the server before the sync that sent it stopped:
            // the server did not change; a local change since then goes up next.
            item.hash = owner->sentHash;
            state::putItem(m_db, kind, item);
            return;
        } else if (*here == p.row) {
            // Both sides hold the same: only the state is new.
        } else if (!owner->hash.isEmpty() && rowHash(*here) == owner->hash) {
            local::update(m_db, kind, item.rec, p.row, m_cx.now);
            ++m_report.changedDown;
        } else {
            conflict(kind, *owner, *here, p, item);
            return;
        }
        item.hash = rowHash(*local::find(m_db, kind, item.rec));
        state::putItem(m_db, kind, item);
    }

    // Both sides changed the record: the local version stays at the href (uploaded with
    // If-Match on the new ETag), the server's becomes a record of its own with a UID of
    // its own (a card or meeting) or goes to the diary's history.
    void conflict(Kind kind, const state::Item& owner, const Row& here, const Parsed& p,
                  state::Item& item)
    {
        ++m_report.conflicts;
        if (kind == Kind::Diary) {
            local::keepInHistory(m_db, owner.rec, p.row.value(1), m_cx.now);
            m_report.conflictTexts
                << u"%1两边都改了：保留本机的文字，服务器上的文字放进了历史（ctdb history %1）"_s
                       .arg(owner.rec);
        } else {
            const QString copy = local::insert(m_db, kind, p.row, m_cx.now);
            m_report.conflictTexts
                << u"%1两边都改了：本机的保留，服务器上的另存为一条新记录（序号 %2）"_s.arg(
                       local::label(kind, here), copy);
        }
        item.hash = "conflict"; // the local version must go up
        state::putItem(m_db, kind, item);
    }

    // A diary entry is one per date: a server entry is matched to the local entry of its
    // date.
    void applyDiaryByDate(const dav::Item& it, const Parsed& p, const QString& uid,
                          const std::optional<state::Item>& owner)
    {
        const QString date = p.row.value(0);
        if (owner && !owner->href.isEmpty() && owner->href == it.href) {
            // The entry moved to another date on the server: the old date stays here.
            state::dropItem(m_db, Kind::Diary, it.href);
            uids::forget(m_db, uids::Kind::Diary, owner->rec);
        }
        // Who holds this date now?
        const std::optional<state::Item> dateOwner = state::itemOf(m_db, Kind::Diary, date);
        const std::optional<Row> here = local::find(m_db, Kind::Diary, date);
        if (dateOwner && dateOwner->href != it.href) {
            // A second entry for one date on the server: its text goes to the history.
            local::keepInHistory(m_db, date, p.row.value(1), m_cx.now);
            state::putSkip(m_db, Kind::Diary, it.href, it.etag, u"这一天已有日记"_s);
            m_report.skipped << u"服务器上的日记 %1：%2 已有一篇日记，它的文字放进了历史"_s.arg(
                it.href, date);
            return;
        }
        state::Item item{date, it.href, it.etag, it.data, {}, {}, {}};
        if (!here) {
            local::insert(m_db, Kind::Diary, p.row, m_cx.now);
            ++m_report.downloaded;
        } else if (here->value(1) != p.row.value(1)) {
            // The entry of this date was written here too, never synced: a conflict.
            local::keepInHistory(m_db, date, p.row.value(1), m_cx.now);
            ++m_report.conflicts;
            m_report.conflictTexts
                << u"%1的日记两边都写了：保留本机的文字，服务器上的放进了历史（ctdb history %1）"_s
                       .arg(date);
            item.hash = "conflict";
        }
        if (item.hash.isEmpty())
            item.hash = rowHash(*local::find(m_db, Kind::Diary, date));
        uids::remember(m_db, uids::Kind::Diary, date, uid);
        state::putItem(m_db, Kind::Diary, item);
    }

    // In the caller's transaction.
    void applyRemoved(Kind kind, const QString& href)
    {
        const auto k = state::itemAt(m_db, kind, href);
        if (!k)
            return;
        const std::optional<Row> here = local::find(m_db, kind, k->rec);
        if (here && rowHash(*here) == k->hash) {
            local::remove(m_db, kind, k->rec, m_cx.now);
            uids::forget(m_db, uidKind(kind), k->rec);
            ++m_report.deletedDown;
        }
        // A record changed here survives: with no state it goes up again as new.
        state::dropItem(m_db, kind, href);
    }

    // ---------------------------------------------------------------- here -> server

    struct Upload {
        enum What { New, Change, Delete } what;
        QString rec;
        QString href;
        QByteArray text;
        QByteArray hash;
        QString label;
    };

    // Uploads the local changes and deletes, a batch at a time; true when the server
    // took any.
    bool push(Kind kind)
    {
        const QUrl base = QUrl(state::collection(m_db, kind)->url);
        bool took = false;
        qint64 done = 0;
        QString after;
        for (;;) {
            const std::vector<local::Record> records = local::next(m_db, kind, after, kBatch);
            if (records.empty())
                break;
            QStringList recs;
            for (const local::Record& r : records)
                recs << r.rec;
            const QHash<QString, state::Meta> metas = state::metasOf(m_db, kind, recs);
            std::vector<Upload> ups;
            std::vector<dav::Request> reqs;
            for (const local::Record& r : records) {
                const QByteArray hash = rowHash(r.row);
                auto meta = metas.constFind(r.rec);
                if (meta != metas.constEnd() && meta->hash == hash)
                    continue;
                const std::optional<state::Item> st =
                    meta != metas.constEnd() ? state::itemOf(m_db, kind, r.rec) : std::nullopt;
                const QString uid = uids::uidOf(m_db, uidKind(kind), r.rec);
                const Row lastRow = st ? parse(kind, st->server, m_cx).row : Row();
                const QByteArray text =
                    build(kind, r.row, uid, st ? st->server : QByteArray(), lastRow, m_cx);
                if (text.isEmpty()) {
                    m_report.skipped
                        << u"%1：会议日期不是日期，无法上传"_s.arg(local::label(kind, r.row));
                    continue;
                }
                const QString href =
                    st ? st->href : dav::pathOf(base.resolved(QUrl(hrefName(kind, uid))));
                // An upload the server never confirmed (no ETag yet) is made as new: an
                // empty If-Match would never match.
                const bool known = st && !st->etag.isEmpty();
                ups.push_back({known ? Upload::Change : Upload::New, r.rec, href, text, hash,
                               local::label(kind, r.row)});
                reqs.push_back(
                    {"PUT",
                     base.resolved(QUrl(href)),
                     text,
                     {{"Content-Type", contentType(kind)},
                      known ? std::pair<QByteArray, QByteArray>("If-Match", st->etag.toUtf8())
                            : std::pair<QByteArray, QByteArray>("If-None-Match", "*")}});
            }
            took = send(kind, ups, reqs, done) || took;
        }
        const auto [table, column] = local::keyColumn(kind);
        for (QString last;;) {
            const std::vector<state::Meta> gone =
                state::orphans(m_db, kind, table, column, last, kBatch);
            if (gone.empty())
                break;
            last = gone.back().rec;
            std::vector<Upload> ups;
            std::vector<dav::Request> reqs;
            for (const state::Meta& i : gone) {
                ups.push_back({Upload::Delete, i.rec, i.href, {}, {}, {}});
                QList<std::pair<QByteArray, QByteArray>> h;
                if (!i.etag.isEmpty())
                    h.append({"If-Match", i.etag.toUtf8()});
                reqs.push_back({"DELETE", base.resolved(QUrl(i.href)), {}, h});
            }
            took = send(kind, ups, reqs, done) || took;
        }
        return took;
    }

    // One batch of uploads; each answer is noted in its own transaction.
    bool send(Kind kind, const std::vector<Upload>& ups, const std::vector<dav::Request>& reqs,
              qint64& done)
    {
        if (reqs.empty())
            return false;
        {
            adodb::Transaction t(m_db);
            for (const Upload& u : ups)
                if (u.what != Upload::Delete)
                    state::markSent(m_db, kind, u.rec, u.href, u.text, u.hash);
            t.commit();
        }
        bool took = false;
        std::optional<dav::Reply> failure;
        client().sendAll(reqs, [&](std::size_t i, dav::Reply&& r) {
            progress(u"上传%1"_s.arg(kindText(kind)), ++done, -1);
            const Upload& u = ups[i];
            if (r.fault != dav::Fault::None || r.status == 401 || r.status >= 500) {
                if (!failure)
                    failure = std::move(r);
                return;
            }
            adodb::Transaction t(m_db);
            took = took || r.ok();
            if (u.what == Upload::Delete) {
                if (r.ok() || r.status == 404) {
                    state::dropItem(m_db, kind, u.href);
                    uids::forget(m_db, uidKind(kind), u.rec);
                    ++m_report.deletedUp;
                } else if (r.status == 412) {
                    m_report.skipped << u"%1 %2：服务器上刚被改过，没有删除；下次同步会取回"_s.arg(
                        kindText(kind), u.href);
                } else {
                    m_report.skipped
                        << u"%1 %2：服务器不让删除（HTTP %3）"_s.arg(kindText(kind), u.href)
                               .arg(r.status);
                }
            } else if (r.ok()) {
                // The ETag of a PUT answer is that of the text sent (RFC 7231 says a
                // server that changed the text must not send one).
                state::putItem(m_db, kind,
                               {u.rec, u.href, QString::fromUtf8(r.etag), u.text, u.hash, {}, {}});
                if (u.what == Upload::New)
                    ++m_report.uploaded;
                else
                    ++m_report.changedUp;
            } else if (r.status == 412) {
                m_report.skipped << u"%1：服务器上同时被改过，下次同步时处理"_s.arg(u.label);
            } else {
                m_report.skipped << u"%1：服务器不接受（HTTP %2）"_s.arg(u.label).arg(r.status);
            }
            t.commit();
        });
        if (failure)
            client().fail(*failure, u"上传%1"_s.arg(kindText(kind)));
        return took;
    }

    adodb::Connection& m_db;
    const RunOptions& m_o;
    Context m_cx;
    std::unique_ptr<dav::Client> m_client;
    Report m_report;
};

} // namespace

Pending pending(adodb::Connection& db, Kind kind)
{
    Pending out;
    out.synced = state::count(db, kind);
    QString after;
    for (;;) {
        const std::vector<local::Record> records = local::next(db, kind, after, kBatch);
        if (records.empty())
            break;
        QStringList recs;
        for (const local::Record& r : records)
            recs << r.rec;
        const QHash<QString, state::Meta> metas = state::metasOf(db, kind, recs);
        for (const local::Record& r : records)
            if (metas.value(r.rec).hash != rowHash(r.row))
                ++out.up;
    }
    const auto [table, column] = local::keyColumn(kind);
    for (QString last;;) {
        const std::vector<state::Meta> gone = state::orphans(db, kind, table, column, last, kBatch);
        if (gone.empty())
            break;
        last = gone.back().rec;
        out.deletes += qint64(gone.size());
    }
    return out;
}

Report run(adodb::Connection& db, const RunOptions& o, const Context& cx)
{
    return Sync(db, o, cx).run();
}

} // namespace ctsync
