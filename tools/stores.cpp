#include "tools/stores.h"

#include "modul/cardmodul.h"
#include "modul/cardtab.h"
#include "modul/dailytab.h"
#include "modul/meettab.h"
#include "modul/tables.h"
#include "modul/uids.h"
#include "tools/console.h"

#include <array>

using namespace Qt::StringLiterals;

namespace transfer {

namespace {

// Null and empty are the same text to a person.
bool sameText(const ct::CellTable& a, int ra, int ca, const ct::CellTable& b, int rb, int cb)
{
    return a.view(ra, ca) == b.view(rb, cb);
}

// A whole table read once, when a record is first looked up by its serial number.
class StoredRows {
public:
    StoredRows(adodb::Connection& c, QString query, bool cards)
        : m_conn(c), m_query(std::move(query)), m_cards(cards)
    {
    }
    const ct::CellTable& rows()
    {
        load();
        return m_rows;
    }
    // The row of a serial number; -1 when there is none.
    int rowOf(const QString& serno)
    {
        load();
        return m_bySerno.value(serno, -1);
    }

private:
    void load()
    {
        if (m_loaded)
            return;
        m_loaded = true;
        adodb::Recordset rs;
        rs.Open(m_query, m_conn);
        m_rows = rs.takeRows();
        if (m_cards)
            cardtab::decodeNames(m_rows);
        m_bySerno.reserve(m_rows.rowCount());
        for (int r = 0; r < m_rows.rowCount(); ++r)
            m_bySerno.insert(m_rows.text(r, 0), r);
    }
    adodb::Connection& m_conn;
    QString m_query;
    bool m_cards;
    bool m_loaded = false;
    ct::CellTable m_rows;
    QHash<QString, int> m_bySerno;
};

QString changedRemark(const QString& file, int line, const QString& what, const QString& uid,
                      const QString& serno)
{
    return console::at(file, line) +
           u"UID 为“%1”的%2已在数据库里（序号 %3），内容不同，没有改动；要用文件里的内容替换它，"
           "加 --update。"_s.arg(uid, what, serno);
}

// ---- cards ----------------------------------------------------------------------------

class CardStore : public Store {
public:
    CardStore(adodb::Connection& c, const QString& file, const ImportOptions& o)
        : m_conn(c), m_file(file), m_options(o), m_insert(c, cardtab::insertStatement()),
          m_insertMany(c, cardtab::insertStatement(kRowsPerInsert)), m_uids(c, uids::Kind::Card),
          m_stored(c, cardtab::allBySerialQuery(), true)
    {
        if (o.allowDuplicates)
            return;
        adodb::Recordset rs;
        cardtab::openNames(c, rs);
        const ct::CellTable stored = rs.takeRows();
        for (int i = 0; i < stored.rowCount(); ++i)
            if (!stored.isNull(i, 0))
                m_names.insert(stored.text(i, 0), 0);
    }

    void add(const exchange::Records& in) override
    {
        // Views into the records: the texts go to the engine without being copied first,
        // kRowsPerInsert cards to a statement.
        for (int i = 0; i < in.rows.rowCount(); ++i) {
            const int line = in.lines[std::size_t(i)];
            const QString name = cardtab::trimBlanks(in.rows.text(i, tables::kCardNameColumn));
            const QString& uid = in.uids[std::size_t(i)];
            if (!uid.isEmpty() && known(in, i, name, uid, line))
                continue;
            QString& coded = m_coded[std::size_t(m_pending)];
            coded = cardmodul::namcode(name);
            if (!m_options.allowDuplicates && seenBefore(name, coded, line))
                continue;
            m_pendingUid[std::size_t(m_pending)] = uid;
            auto* values = &m_values[std::size_t(m_pending) * kValues];
            values[0] = QStringView(coded);
            for (int col = tables::kCardNameColumn + 1; col < tables::kCardColumns; ++col)
                values[col - tables::kCardNameColumn] = in.rows.view(i, col);
            if (++m_pending == kRowsPerInsert) {
                m_insertMany.Execute(m_values);
                stored(m_pending);
            }
        }
        // The views are into this batch: the cards left go in before it goes.
        const int left = m_pending;
        for (int p = 0; p < left; ++p) {
            m_insert.Execute(std::span(m_values).subspan(std::size_t(p) * kValues, kValues));
            if (!m_pendingUid[std::size_t(p)].isEmpty())
                m_uids.remember(m_conn.lastInsertId(), m_pendingUid[std::size_t(p)]);
            ++m_tally.added;
        }
        m_pending = 0;
    }

    void finish() override { m_uids.flush(); }

private:
    static constexpr int kRowsPerInsert = 32;
    static constexpr std::size_t kValues = tables::kCardColumns - 1; // all but the serial

    // The last `n` cards went in with one statement: their serial numbers run up to the
    // last one given out.
    void stored(int n)
    {
        const qint64 last = m_conn.lastInsertId();
        for (int p = 0; p < n; ++p)
            if (!m_pendingUid[std::size_t(p)].isEmpty())
                m_uids.remember(last - n + 1 + p, m_pendingUid[std::size_t(p)]);
        m_tally.added += n;
        m_pending = 0;
    }

    // A card whose UID is known: the same (nothing to do), or replaced, or told; true
    // when it is dealt with here.
    bool known(const exchange::Records& in, int i, const QString& name, const QString& uid,
               int line)
    {
        if (const auto earlier = m_uids.earlierLine(uid, line)) {
            ++m_tally.duplicates;
            m_tally.duplicateRemarks.push_back(
                console::at(m_file, line) +
                u"这张名片的 UID 与第 %1 行的名片相同，没有导入。"_s.arg(*earlier));
            return true;
        }
        const std::optional<QString> rec = m_uids.recordOf(uid);
        if (!rec)
            return false;
        const int row = m_stored.rowOf(*rec);
        if (row < 0) // its record was deleted: the card comes in anew
            return false;
        const ct::CellTable& stored = m_stored.rows();
        bool same = stored.view(row, tables::kCardNameColumn) == name;
        for (int c = tables::kCardNameColumn + 1; same && c < tables::kCardColumns; ++c)
            same = sameText(stored, row, c, in.rows, i, c);
        if (same) {
            ++m_tally.same;
            return true;
        }
        if (!m_options.update) {
            ++m_tally.changed;
            m_tally.changedRemarks.push_back(changedRemark(m_file, line, u"名片"_s, uid, *rec));
            return true;
        }
        const QString coded = cardmodul::namcode(name);
        std::array<std::optional<QStringView>, kValues> values;
        values[0] = QStringView(coded);
        for (int col = tables::kCardNameColumn + 1; col < tables::kCardColumns; ++col)
            values[std::size_t(col - tables::kCardNameColumn)] = in.rows.view(i, col);
        cardtab::replace(m_conn, rec->toLongLong(), values);
        ++m_tally.updated;
        return true;
    }

    bool seenBefore(const QString& name, const QString& coded, int line)
    {
        const auto seen = m_names.constFind(coded);
        if (seen == m_names.cend()) {
            m_names.insert(coded, line);
            return false;
        }
        ++m_tally.duplicates;
        m_tally.duplicateRemarks.push_back(
            console::at(m_file, line) +
            (*seen == 0 ? u"数据库里已有姓名为“%1”的名片，没有导入。"_s.arg(name)
                        : u"姓名“%1”与第 %2 行的名片相同，没有导入。"_s.arg(name).arg(*seen)));
        return true;
    }

    adodb::Connection& m_conn;
    const QString m_file;
    const ImportOptions m_options;
    adodb::Command m_insert;
    adodb::Command m_insertMany;
    uids::Index m_uids;
    StoredRows m_stored;
    QHash<QString, int> m_names; // coded name -> the line it came from (0: stored)
    std::array<QString, kRowsPerInsert> m_coded;
    std::array<QString, kRowsPerInsert> m_pendingUid;
    std::array<std::optional<QStringView>, kRowsPerInsert * kValues> m_values;
    int m_pending = 0;
};

// ---- meetings -------------------------------------------------------------------------

class MeetingStore : public Store {
public:
    MeetingStore(adodb::Connection& c, const QString& file, const ImportOptions& o)
        : m_conn(c), m_file(file), m_options(o), m_insert(c, meettab::insertStatement()),
          m_uids(c, uids::Kind::Meeting), m_stored(c, meettab::allQuery(), false)
    {
    }

    void add(const exchange::Records& in) override
    {
        using namespace tables::meet;
        const ct::CellTable& t = in.rows;
        for (int i = 0; i < t.rowCount(); ++i) {
            const int line = in.lines[std::size_t(i)];
            const QString& uid = in.uids[std::size_t(i)];
            const QVariantList values = meettab::insertValues(
                {t.text(i, record_date), t.text(i, meet_cont), t.text(i, meet_addr),
                 t.text(i, meet_date), t.text(i, go_hour), t.text(i, go_second)});
            if (!uid.isEmpty() && known(values, uid, line))
                continue;
            const QString key = keyOf(values);
            if (!m_options.allowDuplicates && seenBefore(key, values, line))
                continue;
            m_insert.Execute(values);
            if (!uid.isEmpty())
                m_uids.remember(m_conn.lastInsertId(), uid);
            ++m_tally.added;
        }
    }

    void finish() override { m_uids.flush(); }

private:
    // A meeting's place in time and what it is: two meetings alike in these are one.
    static QString keyOf(const QVariantList& v)
    {
        // record date, topic, place, meeting date, hour, minute
        return v[3].toString() + u'\x1f' + v[4].toString() + u'\x1f' + v[5].toString() + u'\x1f' +
               v[1].toString() + u'\x1f' + v[2].toString();
    }

    static QString describe(const QVariantList& v)
    {
        QString when = v[3].toString();
        if (!v[4].isNull() && !v[5].isNull())
            when += u' ' + meettab::departure(v[4].toString(), v[5].toString());
        return u"会议“%1”（%2）"_s.arg(v[1].toString(), when);
    }

    bool known(const QVariantList& values, const QString& uid, int line)
    {
        if (const auto earlier = m_uids.earlierLine(uid, line)) {
            ++m_tally.duplicates;
            m_tally.duplicateRemarks.push_back(
                console::at(m_file, line) + describe(values) +
                u"的 UID 与第 %1 行的事件相同，没有导入。"_s.arg(*earlier));
            return true;
        }
        const std::optional<QString> rec = m_uids.recordOf(uid);
        if (!rec)
            return false;
        const int row = m_stored.rowOf(*rec);
        if (row < 0)
            return false;
        const ct::CellTable& stored = m_stored.rows();
        bool same = true;
        for (int c = 1; same && c < tables::kMeetColumns; ++c)
            same = stored.view(row, c) == values[c - 1].toString();
        if (same) {
            ++m_tally.same;
            return true;
        }
        if (!m_options.update) {
            ++m_tally.changed;
            m_tally.changedRemarks.push_back(changedRemark(m_file, line, u"会议"_s, uid, *rec));
            return true;
        }
        meettab::replace(m_conn, rec->toLongLong(), values);
        ++m_tally.updated;
        return true;
    }

    bool seenBefore(const QString& key, const QVariantList& values, int line)
    {
        if (!m_keysLoaded) {
            m_keysLoaded = true;
            const ct::CellTable& stored = m_stored.rows();
            for (int r = 0; r < stored.rowCount(); ++r) {
                QVariantList v;
                for (int c = 1; c < tables::kMeetColumns; ++c)
                    v << (stored.isNull(r, c) ? QVariant() : QVariant(stored.text(r, c)));
                m_keys.insert(keyOf(v), 0);
            }
        }
        const auto seen = m_keys.constFind(key);
        if (seen == m_keys.cend()) {
            m_keys.insert(key, line);
            return false;
        }
        ++m_tally.duplicates;
        m_tally.duplicateRemarks.push_back(
            console::at(m_file, line) + describe(values) +
            (*seen == 0 ? u"数据库里已有，没有导入。"_s
                        : u"与第 %1 行的会议相同，没有导入。"_s.arg(*seen)));
        return true;
    }

    adodb::Connection& m_conn;
    const QString m_file;
    const ImportOptions m_options;
    adodb::Command m_insert;
    uids::Index m_uids;
    StoredRows m_stored;
    QHash<QString, int> m_keys; // keyOf -> the line it came from (0: stored)
    bool m_keysLoaded = false;
};

// ---- the diary --------------------------------------------------------------------------

class DiaryStore : public Store {
public:
    DiaryStore(adodb::Connection& c, const QString& file, const ImportOptions& o,
               const QDateTime& now)
        : m_conn(c), m_file(file), m_options(o), m_now(now)
    {
    }

    void add(const exchange::Records& in) override
    {
        for (int i = 0; i < in.rows.rowCount(); ++i) {
            const int line = in.lines[std::size_t(i)];
            const QString written = in.rows.text(i, 0).trimmed();
            const auto day = cardmodul::parseDate(written);
            const QString date = day ? cardmodul::datetext(*day) : written;
            const std::optional<QString> text =
                in.rows.isNull(i, 1) ? std::nullopt : std::optional(in.rows.text(i, 1));
            if (const auto earlier = m_dates.constFind(date); earlier != m_dates.cend()) {
                ++m_tally.duplicates;
                m_tally.duplicateRemarks.push_back(
                    console::at(m_file, line) +
                    u"日期 %1 与第 %2 行的日记相同，没有导入。"_s.arg(date).arg(*earlier));
                continue;
            }
            m_dates.insert(date, line);
            const std::optional<dailytab::Entry> stored = dailytab::find(m_conn, date);
            if (stored && stored->desc.value_or(QString()) == text.value_or(QString())) {
                ++m_tally.same;
                continue;
            }
            if (stored && !m_options.update) {
                ++m_tally.changed;
                m_tally.changedRemarks.push_back(
                    console::at(m_file, line) +
                    u"%1 的日记已在数据库里，内容不同，没有改动；要用文件里的内容替换它（原来的"
                    "文字留在历史里），加 --update。"_s.arg(date));
                continue;
            }
            dailytab::saveIn(m_conn, date, text, m_now);
            ++(stored ? m_tally.updated : m_tally.added);
        }
    }

private:
    adodb::Connection& m_conn;
    const QString m_file;
    const ImportOptions m_options;
    const QDateTime m_now;
    QHash<QString, int> m_dates;
};

} // namespace

std::unique_ptr<Store> cardStore(adodb::Connection& c, const QString& file, const ImportOptions& o)
{
    return std::make_unique<CardStore>(c, file, o);
}

std::unique_ptr<Store> meetingStore(adodb::Connection& c, const QString& file,
                                    const ImportOptions& o)
{
    return std::make_unique<MeetingStore>(c, file, o);
}

std::unique_ptr<Store> diaryStore(adodb::Connection& c, const QString& file, const ImportOptions& o,
                                  const QDateTime& now)
{
    return std::make_unique<DiaryStore>(c, file, o, now);
}

} // namespace transfer
