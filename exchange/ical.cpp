#include "exchange/ical.h"

#include "exchange/contentline.h"
#include "modul/cardmodul.h"
#include "modul/tables.h"

#include <QHash>
#include <QIODevice>

#include <libical/ical.h>

#include <cstdlib>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace exchange::ical {

namespace {

struct MeetColumns {
    int serno = tables::meet::meet_serno;
    int recordDate = tables::meet::record_date;
    int topic = tables::meet::meet_cont;
    int place = tables::meet::meet_addr;
    int meetDate = tables::meet::meet_date;
    int hour = tables::meet::go_hour;
    int minute = tables::meet::go_second;
};
const MeetColumns& col()
{
    static const MeetColumns c;
    return c;
}

// libical reports failures through its error state; they must never end the program.
void quietLibical()
{
    static const bool done = [] {
        icalerror_set_errors_are_fatal(0);
        return true;
    }();
    (void)done;
}

struct ComponentFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

QByteArray serialise(icalcomponent* c)
{
    char* s = icalcomponent_as_ical_string_r(c);
    QByteArray out(s);
    std::free(s);
    return out;
}

bool isUtc(const QTimeZone& zone)
{
    static const QList<QByteArray> names = {"UTC",       "Etc/UTC",       "UCT",  "Etc/UCT",
                                            "Universal", "Etc/Universal", "Zulu", "Etc/Zulu",
                                            "GMT",       "Etc/GMT"};
    return zone == QTimeZone::utc() || names.contains(zone.id());
}

// A date text: yyyy-MM-dd read directly, other forms as the windows read them.
std::optional<QDate> dateOf(QStringView s)
{
    if (s.size() == 10 && s[4] == u'-' && s[7] == u'-') {
        int v[3] = {0, 0, 0};
        const int at[3][2] = {{0, 4}, {5, 7}, {8, 10}};
        bool digits = true;
        for (int k = 0; k < 3; ++k)
            for (int i = at[k][0]; i < at[k][1]; ++i) {
                digits = digits && s[i].isDigit();
                v[k] = v[k] * 10 + (s[i].unicode() - u'0');
            }
        if (digits) {
            const QDate d(v[0], v[1], v[2]);
            return d.isValid() ? std::optional(d) : std::nullopt;
        }
    }
    return cardmodul::parseDate(s.toString());
}

void appendTwo(QByteArray& out, int v)
{
    out.append(char('0' + v / 10)).append(char('0' + v % 10));
}

// yyyyMMdd at the end of out
void appendBasicDate(QByteArray& out, const QDate& d)
{
    int y = 0;
    int m = 0;
    int day = 0;
    d.getDate(&y, &m, &day);
    if (y >= 0 && y <= 9999) {
        appendTwo(out, y / 100);
        appendTwo(out, y % 100);
    } else {
        out.append(QByteArray::number(y).rightJustified(4, '0'));
    }
    appendTwo(out, m);
    appendTwo(out, day);
}

QByteArray basicDate(const QDate& d)
{
    QByteArray out;
    appendBasicDate(out, d);
    return out;
}

// yyyyMMddTHHmmssZ
QByteArray utcText(const QDateTime& t)
{
    const QDateTime u = t.toUTC();
    QByteArray out = basicDate(u.date());
    out += 'T';
    appendTwo(out, u.time().hour());
    appendTwo(out, u.time().minute());
    appendTwo(out, u.time().second());
    out += 'Z';
    return out;
}

std::optional<int> number(const ct::CellTable& rows, int r, int c, int max)
{
    if (rows.isNull(r, c))
        return std::nullopt;
    bool ok = false;
    const int v = rows.view(r, c).trimmed().toInt(&ok);
    if (!ok || v < 0 || v > max)
        return std::nullopt;
    return v;
}

// ---- reading: where each event and its properties stand in the file -----------------

struct EventPlace {
    int begin = 0;
    QHash<QByteArray, int> first; // property name -> its first line in the event
};

// Walks the unfolded lines: checks that they are UTF-8 and that components nest, and
// notes the line of every VEVENT directly inside a VCALENDAR (the events libical gives,
// in its order) and of its own properties.
std::vector<EventPlace> scanEvents(QByteArrayView bytes)
{
    std::vector<EventPlace> events;
    struct Open {
        QByteArray name;
        int line;
        bool event; // a VEVENT of the calendar, noted in events
    };
    std::vector<Open> stack;
    int lineNo = 0;
    qsizetype pos = 0;
    bool sawCalendar = false;
    QByteArray logical;
    int logicalLine = 0;
    auto handle = [&](const QByteArray& l, int at) {
        if (l.trimmed().isEmpty())
            return;
        if (!l.isValidUtf8())
            throw DataError(at,
                            u"这一行的文字不是有效的 UTF-8 编码（iCalendar 文件应为 UTF-8）。"_s);
        qsizetype end = 0;
        while (end < l.size() && l[end] != ';' && l[end] != ':')
            ++end;
        const QByteArray name = l.left(end).trimmed().toUpper();
        const QByteArray value = l.mid(end + 1).trimmed().toUpper();
        if (name == "BEGIN") {
            if (stack.empty() && value != "VCALENDAR")
                throw DataError(at, u"这不是 iCalendar 文件：应以 BEGIN:VCALENDAR 开头。"_s);
            sawCalendar = true;
            const bool event =
                value == "VEVENT" && !stack.empty() && stack.back().name == "VCALENDAR";
            stack.push_back({value, at, event});
            if (event)
                events.push_back({at, {}});
            return;
        }
        if (name == "END") {
            if (!stack.empty() && stack.back().name == value) {
                stack.pop_back();
                return;
            }
            for (const Open& o : stack)
                if (o.name == value) // an inner component was never ended
                    throw DataError(stack.back().line, u"从这一行开始的 BEGIN:%1 没有结束。"_s.arg(
                                                           QString::fromUtf8(stack.back().name)));
            throw DataError(at, u"END:%1 前面没有对应的 BEGIN。"_s.arg(QString::fromUtf8(value)));
        }
        if (stack.empty())
            throw DataError(at, u"这一行不在 BEGIN:VCALENDAR … END:VCALENDAR 之内。"_s);
        if (stack.back().event && !events.back().first.contains(name))
            events.back().first.insert(name, at);
    };
    while (pos < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0)
            end = bytes.size();
        QByteArrayView text = bytes.sliced(pos, end - pos);
        if (text.endsWith('\r'))
            text.chop(1);
        pos = end + 1;
        ++lineNo;
        if (!text.isEmpty() && (text[0] == ' ' || text[0] == '\t')) {
            logical.append(text.sliced(1));
            continue;
        }
        if (logicalLine)
            handle(logical, logicalLine);
        logical = text.toByteArray();
        logicalLine = lineNo;
    }
    if (logicalLine)
        handle(logical, logicalLine);
    if (!stack.empty())
        throw DataError(stack.back().line, u"从这一行开始的 BEGIN:%1 没有结束。"_s.arg(
                                               QString::fromUtf8(stack.back().name)));
    if (!sawCalendar)
        throw DataError(1, u"这不是 iCalendar 文件：没有 BEGIN:VCALENDAR。"_s);
    return events;
}

struct Local {
    QDate date;
    std::optional<QTime> time;
};

// A DATE or DATE-TIME as a date (and time) in the zone: UTC and zoned times converted,
// floating times as written.
std::optional<Local> localOf(const icaltimetype& t, const QTimeZone& zone)
{
    const QDate d(t.year, t.month, t.day);
    if (!d.isValid())
        return std::nullopt;
    if (t.is_date)
        return Local{d, std::nullopt};
    const QTime tm(t.hour, t.minute, t.second == 60 ? 59 : t.second);
    if (!tm.isValid())
        return std::nullopt;
    if (!icaltime_is_utc(t) && !t.zone)
        return Local{d, tm};
    const time_t secs = icaltime_as_timet_with_zone(t, t.zone);
    const QDateTime local = QDateTime::fromSecsSinceEpoch(qint64(secs), zone);
    return Local{local.date(), local.time()};
}

QString rawValue(icalproperty* p)
{
    char* s = icalproperty_get_value_as_string_r(p);
    const QString v = QString::fromUtf8(s ? s : "");
    std::free(s);
    return v;
}

} // namespace

Written write(const ct::CellTable& meetings, QIODevice& out, const QTimeZone& zone,
              const QDateTime& stamp, const Progress& progress)
{
    return writeBatches(onlyTable(meetings), out, zone, stamp, progress);
}

Written writeBatches(const RowBatches& next, QIODevice& out, const QTimeZone& zone,
                     const QDateTime& stamp, const Progress& progress)
{
    quietLibical();
    const MeetColumns& c = col();
    Written done;
    std::vector<Note>& notes = done.notes;
    Sink sink(out);
    sink.append("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//ctwork//ctdb//ZH\r\n");

    // Times in the zone: libical writes its rules as a VTIMEZONE named by its IANA name.
    const QByteArray tzid = zone.id();
    const bool utc = isUtc(zone);
    QByteArray startHead = "DTSTART:"; // floating: the local time as written
    if (utc) {
        startHead = "DTSTART:";
    } else if (icaltimezone* builtin = icaltimezone_get_builtin_timezone(tzid.constData())) {
        Component vtz(icalcomponent_new_clone(icaltimezone_get_component(builtin)));
        if (icalproperty* id = icalcomponent_get_first_property(vtz.get(), ICAL_TZID_PROPERTY))
            icalproperty_set_tzid(id, tzid.constData());
        sink.append(serialise(vtz.get()));
        startHead = "DTSTART;TZID=" + tzid + ':';
    } else {
        notes.push_back({0, u"libical 不认识本机的时区“%1”：时间按当地时间（不带时区）导出。"_s.arg(
                                QString::fromUtf8(tzid))});
    }

    // The events are written here, in the form libical reads: a million of them built
    // as libical components would take many times longer.
    QHash<QDate, QByteArray> createdStamps; // record date -> its UTC time, once per date
    const QByteArray fallbackStamp = utcText(stamp);
    QByteArray& buf = sink.buffer();
    QByteArray line;
    qint64 rowsDone = 0;
    while (const ct::CellTable* batch = next()) {
        const ct::CellTable& meetings = *batch;
        for (int r = 0, n = meetings.rowCount(); r < n; ++r) {
            if (progress && ++rowsDone % kProgressStep == 0)
                progress(rowsDone);
            const QStringView serno = meetings.view(r, c.serno);
            const auto day = dateOf(meetings.view(r, c.meetDate));
            if (!day) {
                notes.push_back({0, u"序号 %1 的会议日期“%2”不是日期，没有导出。"_s.arg(
                                        serno.toString(), meetings.text(r, c.meetDate))});
                continue;
            }
            const auto hour = number(meetings, r, c.hour, 23);
            const auto minute = number(meetings, r, c.minute, 59);
            const bool timed = hour && minute;
            if (!timed && (!meetings.isNull(r, c.hour) || !meetings.isNull(r, c.minute)))
                notes.push_back({0, u"序号 %1 的出发时间不完整或无效，按全天的事件导出。"_s.arg(
                                        serno.toString())});

            buf.append("BEGIN:VEVENT\r\n");
            line.resize(0); // keeps its room from the last event
            line.append("UID:meet-");
            appendEscaped(line, serno);
            line.append("@ctwork");
            appendFolded(buf, line);
            const auto recorded = dateOf(meetings.view(r, c.recordDate));
            QByteArray created;
            if (recorded) {
                auto it = createdStamps.constFind(*recorded);
                if (it == createdStamps.cend())
                    it = createdStamps.insert(*recorded,
                                              utcText(QDateTime(*recorded, QTime(0, 0), zone)));
                created = *it;
            }
            buf.append("DTSTAMP:").append(recorded ? created : fallbackStamp).append("\r\n");
            if (recorded)
                buf.append("CREATED:").append(created).append("\r\n");
            if (timed) {
                buf.append(startHead);
                appendBasicDate(buf, *day);
                buf.append('T');
                appendTwo(buf, *hour);
                appendTwo(buf, *minute);
                buf.append(utc ? "00Z\r\n" : "00\r\n");
            } else {
                buf.append("DTSTART;VALUE=DATE:");
                appendBasicDate(buf, *day);
                buf.append("\r\n");
            }
            const QStringView topic = meetings.view(r, c.topic);
            const QStringView place = meetings.view(r, c.place);
            if (!topic.isEmpty()) {
                line.resize(0);
                line.append("SUMMARY:");
                appendEscaped(line, topic);
                appendFolded(buf, line);
            }
            if (!place.isEmpty()) {
                line.resize(0);
                line.append("LOCATION:");
                appendEscaped(line, place);
                appendFolded(buf, line);
            }
            if (timed) {
                buf.append("BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:PT0S\r\n");
                line.resize(0);
                line.append("DESCRIPTION:");
                appendEscaped(line, topic.isEmpty() ? QStringView(u"会议") : topic);
                appendFolded(buf, line);
                buf.append("END:VALARM\r\n");
            }
            buf.append("END:VEVENT\r\n");
            sink.flushWhenFull();
            ++done.events;
        }
    }
    sink.append("END:VCALENDAR\r\n");
    sink.flush();
    return done;
}

Records read(QByteArrayView bytes, const QTimeZone& zone, const QDate& today)
{
    quietLibical();
    const MeetColumns& c = col();
    const QByteArray text =
        (bytes.startsWith("\xEF\xBB\xBF") ? bytes.sliced(3) : bytes).toByteArray();
    const std::vector<EventPlace> places = scanEvents(text);

    Records out;
    out.rows = ct::CellTable(tables::kMeetColumns);
    Component root(icalparser_parse_string(text.constData()));
    if (!root)
        throw DataError(1, u"libical 无法读取这个 iCalendar 文件。"_s);
    std::vector<icalcomponent*> calendars;
    if (icalcomponent_isa(root.get()) == ICAL_VCALENDAR_COMPONENT) {
        calendars.push_back(root.get());
    } else {
        for (icalcomponent* cal =
                 icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT);
             cal; cal = icalcomponent_get_next_component(root.get(), ICAL_VCALENDAR_COMPONENT))
            calendars.push_back(cal);
    }
    std::size_t k = 0;
    for (icalcomponent* cal : calendars) {
        for (icalcomponent* ev = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); ev;
             ev = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT), ++k) {
            const EventPlace place = k < places.size() ? places[k] : EventPlace{};
            const int begin = place.begin;
            auto lineOf = [&](const char* name) { return place.first.value(name, begin); };
            // A property written in the file that libical could not keep is an error.
            auto lost = [&](icalproperty_kind kind, const char* name) {
                if (place.first.contains(name) && !icalcomponent_get_first_property(ev, kind))
                    throw DataError(lineOf(name),
                                    u"%1 的值无法读取。"_s.arg(QString::fromLatin1(name)));
            };
            lost(ICAL_DTSTART_PROPERTY, "DTSTART");
            lost(ICAL_SUMMARY_PROPERTY, "SUMMARY");
            lost(ICAL_LOCATION_PROPERTY, "LOCATION");
            lost(ICAL_CREATED_PROPERTY, "CREATED");

            icalproperty* dtstart = icalcomponent_get_first_property(ev, ICAL_DTSTART_PROPERTY);
            if (!dtstart)
                throw DataError(begin, u"这个事件没有开始时间（DTSTART）。"_s);
            const icaltimetype t = icalcomponent_get_dtstart(ev);
            const auto start = localOf(t, zone);
            if (!start)
                throw DataError(lineOf("DTSTART"),
                                u"DTSTART 的日期或时间“%1”不存在。"_s.arg(rawValue(dtstart)));
            if (icalparameter* tz = icalproperty_get_first_parameter(dtstart, ICAL_TZID_PARAMETER);
                tz && !t.zone)
                out.notes.push_back(
                    {lineOf("DTSTART"), u"不认识的时区“%1”：按当地时间导入。"_s.arg(
                                            QString::fromUtf8(icalparameter_get_tzid(tz)))});
            if (icalcomponent_get_first_property(ev, ICAL_RRULE_PROPERTY))
                out.notes.push_back({begin, u"重复的事件只导入了第一次。"_s});

            QDate recorded = today;
            if (icalproperty* created =
                    icalcomponent_get_first_property(ev, ICAL_CREATED_PROPERTY)) {
                const auto when = localOf(icalproperty_get_created(created), zone);
                if (!when)
                    throw DataError(lineOf("CREATED"),
                                    u"CREATED 的日期“%1”不存在。"_s.arg(rawValue(created)));
                recorded = when->date;
            }
            const char* summary = icalcomponent_get_summary(ev);
            const char* location = icalcomponent_get_location(ev);

            out.rows.appendNullCell();
            for (int col = 1; col < tables::kMeetColumns; ++col) {
                if (col == c.recordDate)
                    out.rows.appendCell(cardmodul::datetext(recorded));
                else if (col == c.topic)
                    out.rows.appendCell(QString::fromUtf8(summary ? summary : ""));
                else if (col == c.place)
                    out.rows.appendCell(QString::fromUtf8(location ? location : ""));
                else if (col == c.meetDate)
                    out.rows.appendCell(cardmodul::datetext(start->date));
                else if (col == c.hour && start->time)
                    out.rows.appendCell(QString::number(start->time->hour()));
                else if (col == c.minute && start->time)
                    out.rows.appendCell(QString::number(start->time->minute()));
                else
                    out.rows.appendNullCell();
            }
            out.lines.push_back(begin);
        }
    }
    return out;
}

} // namespace exchange::ical
