#include "sync/mapping.h"

#include "exchange/ical.h"
#include "exchange/vcard.h"
#include "modul/tables.h"
#include "sync/vtext.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QRegularExpression>

#include <optional>

using namespace Qt::StringLiterals;

namespace ctsync {

QString kindName(Kind k)
{
    switch (k) {
    case Kind::Card:
        return u"card"_s;
    case Kind::Meeting:
        return u"meet"_s;
    case Kind::Diary:
        break;
    }
    return u"diary"_s;
}

QString componentOf(Kind k)
{
    return k == Kind::Meeting ? u"VEVENT"_s : k == Kind::Diary ? u"VJOURNAL"_s : QString();
}

QByteArray rowHash(const Row& row)
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    for (const QString& cell : row) {
        h.addData(cell.toUtf8());
        h.addData("\x1f");
    }
    return h.result().toHex();
}

QString hrefName(Kind kind, const QString& uid)
{
    static const QRegularExpression plain(u"^[A-Za-z0-9._-]{1,120}$"_s);
    const QString ext = kind == Kind::Card ? u".vcf"_s : u".ics"_s;
    if (plain.match(uid).hasMatch())
        return uid + ext;
    return QString::fromLatin1(
               QCryptographicHash::hash(uid.toUtf8(), QCryptographicHash::Sha1).toHex()) +
           ext;
}

namespace {

// ------------------------------------------------------------------ shared pieces

QString stampUtc(const QDateTime& t)
{
    return t.toUTC().toString(u"yyyyMMdd'T'HHmmss'Z'"_s);
}

// The value of the first own line called `name` of a component.
std::optional<QString> ownValue(const QStringList& lines, vtext::Span s, const QString& name)
{
    for (int i : vtext::ownLines(lines, s))
        if (vtext::nameOf(lines[i]) == name)
            return vtext::valueOf(lines[i]);
    return std::nullopt;
}

int countComponents(const QStringList& lines, const QString& name)
{
    int n = 0;
    const QString begin = u"BEGIN:"_s + name;
    for (const QString& l : lines)
        if (l.compare(begin, Qt::CaseInsensitive) == 0)
            ++n;
    return n;
}

// A property: its name and the TYPE values that tell it apart from others of its name.
struct Key {
    QString name;
    QStringList types;
};

QStringList significant(QStringList types)
{
    static const QStringList noise = {u"voice"_s, u"pref"_s, u"internet"_s};
    QStringList out;
    for (QString& t : types)
        if (!noise.contains(t) && !t.startsWith(u"x-"_s) && !out.contains(t))
            out << t;
    out.sort();
    return out;
}

Key keyOf(const QString& line)
{
    return {vtext::nameOf(line), significant(vtext::typesOf(line))};
}

bool matches(const QString& line, const Key& k)
{
    const Key other = keyOf(line);
    return other.name == k.name && other.types == k.types;
}

// Replaces, in the own lines of a component, the first line of each key by the lines
// of `fresh` with that key (removing it when `fresh` has none, adding before the
// component's END when `last` has none).
void patchKeys(QStringList& lines, vtext::Span s, const QList<Key>& keys, const QStringList& fresh)
{
    for (const Key& k : keys) {
        QStringList wanted;
        for (const QString& f : fresh)
            if (matches(f, k))
                wanted << f;
        int at = -1;
        for (int i : vtext::ownLines(lines, s))
            if (matches(lines[i], k)) {
                at = i;
                break;
            }
        if (at >= 0) {
            lines.removeAt(at);
            s.end -= 1;
        } else {
            at = s.end - 1; // before END
        }
        for (qsizetype j = 0; j < wanted.size(); ++j)
            lines.insert(at + int(j), wanted[j]);
        s.end += int(wanted.size());
    }
}

// ------------------------------------------------------------------ cards

constexpr int kCardTexts = tables::kCardColumns - 1;

QByteArray writeCard(const Row& row)
{
    ct::CellTable t(tables::kCardColumns);
    t.appendNullCell();
    for (int c = 0; c < kCardTexts; ++c)
        t.appendCell(c < row.size() ? QStringView(row[c]) : QStringView());
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    exchange::vcard::write(t, b);
    return out;
}

// The properties each card column is written as (found by writing it alone).
const QList<QList<Key>>& cardKeys()
{
    static const QList<QList<Key>> keys = [] {
        QList<QList<Key>> out(kCardTexts);
        Row base(kCardTexts);
        base[0] = u"名"_s;
        const QStringList plain = vtext::unfold(writeCard(base));
        for (int c = 0; c < kCardTexts; ++c) {
            if (c == 0) {
                out[c] = {Key{u"FN"_s, {}}, Key{u"N"_s, {}}};
                continue;
            }
            Row r = base;
            r[c] = u"1"_s;
            for (const QString& l : vtext::unfold(writeCard(r)))
                if (!plain.contains(l)) {
                    const Key k = keyOf(l);
                    bool seen = false;
                    for (const Key& have : out[c])
                        seen = seen || (have.name == k.name && have.types == k.types);
                    if (!seen)
                        out[c] << k;
                }
        }
        return out;
    }();
    return keys;
}

Parsed parseCard(const QByteArray& text)
{
    Parsed p;
    const QStringList lines = vtext::unfold(text);
    const vtext::Span s = vtext::component(lines, u"VCARD"_s);
    if (s.end == s.begin)
        return p;
    p.state = Parsed::Skip;
    p.uid = ownValue(lines, s, u"UID"_s).value_or(QString()).trimmed();
    if (countComponents(lines, u"VCARD"_s) != 1) {
        p.reason = u"一个条目里有多张名片"_s;
        return p;
    }
    try {
        const exchange::Records r = exchange::vcard::read(text);
        if (r.rows.rowCount() != 1) {
            p.reason = u"读不出名片"_s;
            return p;
        }
        for (int c = 1; c < tables::kCardColumns; ++c)
            p.row << r.rows.text(0, c);
    } catch (const exchange::DataError& e) {
        p.reason = e.message();
        return p;
    }
    p.state = Parsed::Ok;
    return p;
}

// The part of a note that the reader added after the NOTE property (values that found
// no column of their own).
QString readerAddition(const QStringList& lines, vtext::Span s, const QString& readNote)
{
    const QString own = vtext::unescape(ownValue(lines, s, u"NOTE"_s).value_or(QString()));
    return readNote.startsWith(own) ? readNote.mid(own.size()) : QString();
}

QByteArray buildCard(const Row& row, const QString& uid, const QByteArray& last, const Row& lastRow)
{
    const int noteCol = kCardTexts - 1;
    QStringList lines = vtext::unfold(last);
    vtext::Span s = vtext::component(lines, u"VCARD"_s);
    Row want = row;
    if (!last.isEmpty() && s.end > s.begin && lastRow.size() == kCardTexts) {
        // What the reader added to the note stays where it came from.
        const QString added = readerAddition(lines, s, lastRow[noteCol]);
        if (!added.isEmpty() && want[noteCol].endsWith(added))
            want[noteCol].chop(added.size());
    }
    QStringList fresh = vtext::unfold(writeCard(want));
    if (last.isEmpty() || s.end == s.begin || lastRow.size() != kCardTexts) {
        const vtext::Span f = vtext::component(fresh, u"VCARD"_s);
        int at = f.begin + 1;
        if (at < fresh.size() && vtext::nameOf(fresh[at]) == u"VERSION")
            ++at;
        fresh.insert(at, u"UID:"_s + uid);
        return vtext::join(fresh);
    }
    QList<Key> changed;
    for (int c = 0; c < kCardTexts; ++c)
        if (row[c] != lastRow[c])
            changed << cardKeys()[c];
    patchKeys(lines, s, changed, fresh);
    s = vtext::component(lines, u"VCARD"_s);
    if (!ownValue(lines, s, u"UID"_s))
        lines.insert(s.end - 1, u"UID:"_s + uid);
    return vtext::join(lines);
}

// ------------------------------------------------------------------ meetings

QByteArray writeEvent(const Row& row, const Context& cx, bool* written)
{
    ct::CellTable t(tables::kMeetColumns);
    t.appendCell(u"0");
    for (int c = 1; c < tables::kMeetColumns; ++c) {
        const QString& v = c - 1 < row.size() ? row[c - 1] : QString();
        if (v.isEmpty() && c >= 5)
            t.appendNullCell();
        else
            t.appendCell(v);
    }
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    // The UID is set by the caller.
    const exchange::ical::Written w = exchange::ical::write(
        t, b, [](QStringView) { return u"-"_s; }, cx.zone, cx.now);
    *written = w.events == 1;
    return out;
}

bool recurring(const QStringList& lines, vtext::Span s)
{
    for (int i : vtext::ownLines(lines, s)) {
        const QString n = vtext::nameOf(lines[i]);
        if (n == u"RRULE" || n == u"RDATE" || n == u"RECURRENCE-ID" || n == u"EXRULE")
            return true;
    }
    return false;
}

Parsed parseEvent(const QByteArray& text, const Context& cx)
{
    Parsed p;
    const QStringList lines = vtext::unfold(text);
    const vtext::Span s = vtext::component(lines, u"VEVENT"_s);
    if (s.end == s.begin)
        return p;
    p.state = Parsed::Skip;
    p.uid = ownValue(lines, s, u"UID"_s).value_or(QString()).trimmed();
    if (recurring(lines, s) || countComponents(lines, u"VEVENT"_s) != 1) {
        p.reason = u"重复的事件不能作为一条会议记录"_s;
        return p;
    }
    try {
        const exchange::Records r = exchange::ical::read(text, cx.zone, cx.today);
        if (r.rows.rowCount() != 1) {
            p.reason = u"读不出会议"_s;
            return p;
        }
        for (int c = 1; c < tables::kMeetColumns; ++c)
            p.row << r.rows.text(0, c);
    } catch (const exchange::DataError& e) {
        p.reason = e.message();
        return p;
    }
    p.state = Parsed::Ok;
    return p;
}

// "20261209T090000[Z]" or "20261209" of a DTSTART/DTEND line.
std::optional<QDateTime> timeOf(const QString& line)
{
    const QString v = vtext::valueOf(line).trimmed();
    if (v.size() == 8) {
        const QDate d = QDate::fromString(v, u"yyyyMMdd"_s);
        return d.isValid() ? std::optional(QDateTime(d, QTime(0, 0))) : std::nullopt;
    }
    const QDateTime t = QDateTime::fromString(v.left(15), u"yyyyMMdd'T'HHmmss"_s);
    return t.isValid() ? std::optional(t) : std::nullopt;
}

QByteArray buildEvent(const Row& row, const QString& uid, const QByteArray& last,
                      const Row& lastRow, const Context& cx)
{
    bool ok = false;
    QStringList fresh = vtext::unfold(writeEvent(row, cx, &ok));
    if (!ok)
        return {};
    const vtext::Span fs = vtext::component(fresh, u"VEVENT"_s);
    for (int i : vtext::ownLines(fresh, fs))
        if (vtext::nameOf(fresh[i]) == u"UID")
            fresh[i] = u"UID:"_s + uid;
    QStringList lines = vtext::unfold(last);
    vtext::Span s = vtext::component(lines, u"VEVENT"_s);
    if (last.isEmpty() || s.end == s.begin || lastRow.size() != tables::kMeetColumns - 1)
        return vtext::join(fresh);

    QStringList freshOwn;
    for (int i : vtext::ownLines(fresh, fs))
        freshOwn << fresh[i];
    QList<Key> changed;
    if (row[0] != lastRow[0])
        changed << Key{u"CREATED"_s, {}};
    if (row[1] != lastRow[1])
        changed << Key{u"SUMMARY"_s, {}};
    if (row[2] != lastRow[2])
        changed << Key{u"LOCATION"_s, {}};
    const bool moved = row.mid(3) != lastRow.mid(3);
    if (moved) {
        // The phone's end time moves with the start: kept as a duration.
        std::optional<QDateTime> start, end;
        int endAt = -1;
        for (int i : vtext::ownLines(lines, s)) {
            const QString n = vtext::nameOf(lines[i]);
            if (n == u"DTSTART")
                start = timeOf(lines[i]);
            else if (n == u"DTEND") {
                end = timeOf(lines[i]);
                endAt = i;
            }
        }
        if (endAt >= 0) {
            lines.removeAt(endAt);
            s.end -= 1;
            if (start && end && *end > *start) {
                const qint64 secs = start->secsTo(*end);
                lines.insert(s.end - 1, secs % 86400 == 0 ? u"DURATION:P%1D"_s.arg(secs / 86400)
                                                          : u"DURATION:PT%1S"_s.arg(secs));
                s.end += 1;
            }
        }
        changed << Key{u"DTSTART"_s, {}};
    }
    patchKeys(lines, s, changed, freshOwn);
    s = vtext::component(lines, u"VEVENT"_s);
    // DTSTAMP: when this text was made.
    for (int i : vtext::ownLines(lines, s))
        if (vtext::nameOf(lines[i]) == u"DTSTAMP")
            lines[i] = u"DTSTAMP:"_s + stampUtc(cx.now);
    if (!ownValue(lines, s, u"UID"_s))
        lines.insert(s.begin + 1, u"UID:"_s + uid);
    // A time zone the new start names must be in the text.
    if (moved) {
        const vtext::Span tz = vtext::component(fresh, u"VTIMEZONE"_s);
        const vtext::Span have = vtext::component(lines, u"VTIMEZONE"_s);
        if (tz.end > tz.begin && have.end == have.begin) {
            const vtext::Span ev = vtext::component(lines, u"VEVENT"_s);
            for (int i = tz.end - 1; i >= tz.begin; --i)
                lines.insert(ev.begin, fresh[i]);
        }
    }
    return vtext::join(lines);
}

// ------------------------------------------------------------------ diary

Parsed parseJournal(const QByteArray& text)
{
    Parsed p;
    const QStringList lines = vtext::unfold(text);
    const vtext::Span s = vtext::component(lines, u"VJOURNAL"_s);
    if (s.end == s.begin)
        return p;
    p.state = Parsed::Skip;
    p.uid = ownValue(lines, s, u"UID"_s).value_or(QString()).trimmed();
    if (recurring(lines, s) || countComponents(lines, u"VJOURNAL"_s) != 1) {
        p.reason = u"重复的日记不能作为一天的日记"_s;
        return p;
    }
    QDate date;
    QStringList texts;
    for (int i : vtext::ownLines(lines, s)) {
        const QString n = vtext::nameOf(lines[i]);
        if (n == u"DTSTART") {
            const auto t = timeOf(lines[i]);
            if (t)
                date = t->date();
        } else if (n == u"DESCRIPTION") {
            texts << vtext::unescape(vtext::valueOf(lines[i]));
        }
    }
    if (!date.isValid()) {
        p.reason = u"日记没有日期（DTSTART）"_s;
        return p;
    }
    p.row = {date.toString(u"yyyy-MM-dd"_s), texts.join(u"\n\n"_s)};
    p.state = Parsed::Ok;
    return p;
}

QByteArray buildJournal(const Row& row, const QString& uid, const QByteArray& last,
                        const Context& cx)
{
    const QString desc = u"DESCRIPTION:"_s + vtext::escape(row.value(1));
    QStringList lines = vtext::unfold(last);
    vtext::Span s = vtext::component(lines, u"VJOURNAL"_s);
    if (last.isEmpty() || s.end == s.begin) {
        const QDate d = QDate::fromString(row.value(0), u"yyyy-MM-dd"_s);
        return vtext::join({u"BEGIN:VCALENDAR"_s, u"VERSION:2.0"_s,
                            u"PRODID:-//Chengtong//ctwork//ZH"_s, u"BEGIN:VJOURNAL"_s,
                            u"UID:"_s + uid, u"DTSTAMP:"_s + stampUtc(cx.now),
                            u"DTSTART;VALUE=DATE:"_s + d.toString(u"yyyyMMdd"_s),
                            u"SUMMARY:工作日记"_s, desc, u"END:VJOURNAL"_s, u"END:VCALENDAR"_s});
    }
    bool placed = false;
    QList<int> drop;
    for (int i : vtext::ownLines(lines, s)) {
        const QString n = vtext::nameOf(lines[i]);
        if (n == u"DESCRIPTION") {
            if (placed)
                drop << i;
            else
                lines[i] = desc;
            placed = true;
        } else if (n == u"DTSTAMP") {
            lines[i] = u"DTSTAMP:"_s + stampUtc(cx.now);
        }
    }
    for (qsizetype j = drop.size() - 1; j >= 0; --j)
        lines.removeAt(drop[j]);
    s = vtext::component(lines, u"VJOURNAL"_s);
    if (!placed)
        lines.insert(s.end - 1, desc);
    if (!ownValue(lines, s, u"UID"_s))
        lines.insert(s.begin + 1, u"UID:"_s + uid);
    return vtext::join(lines);
}

} // namespace

Parsed parse(Kind kind, const QByteArray& text, const Context& cx)
{
    switch (kind) {
    case Kind::Card:
        return parseCard(text);
    case Kind::Meeting:
        return parseEvent(text, cx);
    case Kind::Diary:
        break;
    }
    return parseJournal(text);
}

QByteArray build(Kind kind, const Row& row, const QString& uid, const QByteArray& last,
                 const Row& lastRow, const Context& cx)
{
    switch (kind) {
    case Kind::Card:
        return buildCard(row, uid, last, lastRow);
    case Kind::Meeting:
        return buildEvent(row, uid, last, lastRow, cx);
    case Kind::Diary:
        break;
    }
    return buildJournal(row, uid, last, cx);
}

} // namespace ctsync
