#include "exchange/ical.h"

#include "exchange/contentline.h"
#include "exchange/textcodec.h"
#include "modul/cardmodul.h"
#include "modul/tables.h"

#include <QBuffer>
#include <QHash>
#include <QIODevice>
#include <QSet>
#include <QStringDecoder>

#include <libical/ical.h>

#include <algorithm>
#include <cstdio>
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

// ---- reading ------------------------------------------------------------------------

// What the scan found out about one VEVENT of the file.
struct EventPlace {
    int begin = 0;
    QHash<QByteArray, std::pair<int, bool>> first; // property -> its first line, a value?
    QString fault;                                 // why it cannot be read, if it cannot
    int faultLine = 0;
    int end = 0; // the line of its END:VEVENT
};

// The text handed to libical, with what the scan found.
struct Scanned {
    QByteArray text; // one line for each line of the file: line numbers stay
    std::vector<EventPlace> events;
    std::vector<Note> notes;
};

// The bytes of a file as UTF-8: UTF-16 with or without a byte-order mark converted.
QByteArray utf8Of(QByteArrayView bytes)
{
    if (const auto e = utf16Of(bytes)) {
        QStringDecoder d(*e);
        const QString text = d.decode(bytes);
        if (!d.hasError())
            return text.toUtf8();
    }
    return withoutUtf8Bom(bytes).toByteArray();
}

// Splits the file into lines (CRLF, CR CR LF, LF, or a lone CR in a file without LF), checks
// the nesting of components and notes the line of every VEVENT and its properties. A line
// that is not UTF-8 is read as GB18030 when it is that, else its event is passed over;
// comment lines (#) and lines outside the calendar are left out. A component left open at
// the end of the file is a DataError: the file was cut off.
Scanned scan(QByteArrayView bytes)
{
    Scanned out;
    const bool crOnly = !bytes.contains('\n') && bytes.contains('\r');
    const char eol = crOnly ? '\r' : '\n';
    struct Open {
        QByteArray name;
        int line;
    };
    std::vector<Open> stack;
    bool sawCalendar = false;
    int outsideFrom = 0; // first line of a run of lines outside the calendar
    auto outside = [&](int line) {
        if (!outsideFrom)
            outsideFrom = line;
    };
    auto endOutside = [&] {
        if (outsideFrom)
            out.notes.push_back(
                {outsideFrom,
                 u"这一行不在日历（BEGIN:VCALENDAR … END:VCALENDAR）之内，没有读。"_s});
        outsideFrom = 0;
    };
    int event = -1; // the VEVENT being scanned, an index into out.events
    int eventDepth = 0;
    auto fault = [&](int line, const QString& why) {
        if (event >= 0 && out.events[std::size_t(event)].fault.isEmpty()) {
            out.events[std::size_t(event)].fault = why;
            out.events[std::size_t(event)].faultLine = line;
        }
    };
    QByteArray logical; // a property with its folded lines
    int logicalLine = 0;
    auto handle = [&](const QByteArray& l, int at) {
        qsizetype end = 0;
        while (end < l.size() && l[end] != ';' && l[end] != ':')
            ++end;
        const QByteArray name = l.left(end).trimmed().toUpper();
        const QByteArray value = l.mid(end + 1).trimmed().toUpper();
        if (name == "BEGIN") {
            if (stack.empty() && value != "VCALENDAR") {
                outside(at);
                return;
            }
            endOutside();
            sawCalendar = true;
            stack.push_back({value, at});
            if (value == "VEVENT" && event < 0 && stack.size() == 2) { // as libical finds them
                out.events.push_back({at, {}, {}, 0, 0});
                event = int(out.events.size()) - 1;
                eventDepth = int(stack.size());
            }
            return;
        }
        if (stack.empty()) {
            outside(at);
            return;
        }
        if (name == "END") {
            if (stack.back().name == value) {
                stack.pop_back();
                if (event >= 0 && int(stack.size()) < eventDepth) {
                    out.events[std::size_t(event)].end = at;
                    event = -1;
                }
                return;
            }
            if (event >= 0) { // a component inside the event not ended, or an END too many
                fault(at, u"END:%1 与前面的 BEGIN 不对应。"_s.arg(QString::fromUtf8(value)));
                for (std::size_t k = stack.size(); k-- > std::size_t(eventDepth);)
                    if (stack[k].name == value) {
                        stack.resize(k);
                        break;
                    }
                if (value == "VEVENT") {
                    stack.resize(std::size_t(eventDepth - 1));
                    out.events[std::size_t(event)].end = at;
                    event = -1;
                }
                return;
            }
            out.notes.push_back({at, u"END:%1 前面没有对应的 BEGIN，没有读这一行。"_s.arg(
                                         QString::fromUtf8(value))});
            return;
        }
        if (event >= 0 && int(stack.size()) == eventDepth) {
            auto& first = out.events[std::size_t(event)].first;
            if (!first.contains(name))
                first.insert(name, {at, !l.mid(end + 1).trimmed().isEmpty()});
        }
    };
    int lineNo = 0;
    qsizetype pos = 0;
    bool kept = false;             // the last line goes to libical
    std::vector<QByteArray> lines; // what goes to libical, line by line (empty: left out)
    while (pos < bytes.size()) {
        qsizetype end = bytes.indexOf(eol, pos);
        if (end < 0)
            end = bytes.size();
        QByteArrayView text = bytes.sliced(pos, end - pos);
        while (text.endsWith('\r'))
            text.chop(1);
        pos = end + 1;
        ++lineNo;
        QByteArray line = text.toByteArray();
        bool bad = false;
        if (!line.isValidUtf8()) {
            if (const auto gb = decode(line, Encoding::Gb18030)) {
                line = gb->toUtf8();
            } else {
                bad = true;
                line.clear();
            }
        }
        if (line.startsWith('#'))
            line.clear();
        if (!line.isEmpty() && (line[0] == ' ' || line[0] == '\t') && logicalLine) {
            logical.append(line.sliced(1));
        } else {
            if (logicalLine && !logical.trimmed().isEmpty())
                handle(logical, logicalLine);
            logical = line;
            logicalLine = lineNo;
        }
        if (bad) { // after the lines before it are placed
            if (event >= 0)
                fault(lineNo, u"这一行的文字既不是 UTF-8 也不是 GB18030 编码。"_s);
            else
                out.notes.push_back({lineNo, u"这一行的文字无法识别，没有读。"_s});
        }
        const bool continued = !line.isEmpty() && (line[0] == ' ' || line[0] == '\t');
        kept = continued ? kept : !stack.empty() || line.trimmed().toUpper() == "BEGIN:VCALENDAR";
        lines.push_back(kept ? line : QByteArray());
    }
    if (logicalLine && !logical.trimmed().isEmpty())
        handle(logical, logicalLine);
    endOutside();
    // An event passed over reaches libical empty, so that what is left of its lines does
    // not upset the components around it and the events stay in step.
    for (const EventPlace& e : out.events)
        if (!e.fault.isEmpty() && e.end > e.begin)
            for (int l = e.begin + 1; l < e.end; ++l)
                lines[std::size_t(l - 1)].clear();
    for (const QByteArray& l : lines)
        out.text.append(l).append("\r\n");
    if (!stack.empty())
        throw DataError(stack.back().line, u"从这一行开始的 BEGIN:%1 没有结束：文件不完整。"_s.arg(
                                               QString::fromUtf8(stack.back().name)));
    if (!sawCalendar)
        throw DataError(1, u"这不是 iCalendar 文件：没有 BEGIN:VCALENDAR。"_s);
    return out;
}
struct Local {
    QDate date;
    std::optional<QTime> time;
};

// A DATE or DATE-TIME as a date (and time) in the zone: UTC and zoned times converted,
// floating times as written.
std::optional<Local> localOf(const icaltimetype& t, const QTimeZone& zone)
{
    // A date a date text can hold: years 1 to 9999.
    auto usable = [](const QDate& d) { return d.isValid() && d.year() >= 1 && d.year() <= 9999; };
    const QDate d(t.year, t.month, t.day);
    if (!usable(d))
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
    if (!usable(local.date()))
        return std::nullopt;
    return Local{local.date(), local.time()};
}

QString rawValue(icalproperty* p)
{
    char* s = icalproperty_get_value_as_string_r(p);
    const QString v = QString::fromUtf8(s ? s : "");
    std::free(s);
    return v;
}

// A time of a property with its TZID resolved: in the calendar's VTIMEZONE, else libical's
// own zones (libical leaves it floating for RDATE).
icaltimetype zoned(icaltimetype t, icalproperty* p, icalcomponent* calendar)
{
    if (t.is_date || t.zone || icaltime_is_utc(t))
        return t;
    icalparameter* tz = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER);
    if (!tz)
        return t;
    const char* id = icalparameter_get_tzid(tz);
    icaltimezone* z = calendar ? icalcomponent_get_timezone(calendar, id) : nullptr;
    if (!z)
        z = icaltimezone_get_builtin_timezone(id);
    if (z)
        t.zone = z;
    return t;
}

// How two times of one event are compared: a whole day by its date, a floating time by
// its clock time as written, a zoned or UTC time by its instant.
struct Instant {
    bool date = false;
    bool floating = false;
    qint64 value = 0; // yyyyMMdd, yyyyMMddHHmmss, or seconds since the epoch
    auto operator<=>(const Instant&) const = default;
};

qint64 clockOf(const icaltimetype& t)
{
    return ((qint64(t.year) * 100 + t.month) * 100 + t.day) * 1000000 +
           (t.hour * 100 + t.minute) * 100 + t.second;
}

// An occurrence or exception time as the start of its event compares it.
Instant instantOf(const icaltimetype& t, const icaltimetype& start)
{
    if (start.is_date)
        return {true, false, (qint64(t.year) * 100 + t.month) * 100 + t.day};
    if (!start.zone && !icaltime_is_utc(start))
        return {false, true, clockOf(t)};
    if (t.is_date)
        return {true, false, (qint64(t.year) * 100 + t.month) * 100 + t.day};
    const icaltimezone* z = t.zone ? t.zone : (icaltime_is_utc(t) ? nullptr : start.zone);
    icaltimetype u = t;
    if (!t.zone && !icaltime_is_utc(t))
        u.zone = z;
    return {false, false, qint64(icaltime_as_timet_with_zone(u, u.zone))};
}

// The instance an exception (EXDATE) or a moved occurrence (RECURRENCE-ID) names, as the
// occurrences of the event are compared; a whole-day one matches every time of that day.
bool names(const Instant& exception, const icaltimetype& exceptionTime,
           const icaltimetype& occurrence, const icaltimetype& start)
{
    if (exception.date && !start.is_date)
        return occurrence.year == exceptionTime.year && occurrence.month == exceptionTime.month &&
               occurrence.day == exceptionTime.day;
    return exception == instantOf(occurrence, start);
}

// The text an occurrence adds to its event's UID: its start in UTC (a whole day: its date;
// a floating time: as written).
QString recurrenceText(const icaltimetype& t)
{
    char buf[32];
    if (t.is_date) {
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", t.year, t.month, t.day);
    } else if (!t.zone && !icaltime_is_utc(t)) {
        std::snprintf(buf, sizeof buf, "%04d%02d%02dT%02d%02d%02d", t.year, t.month, t.day, t.hour,
                      t.minute, t.second);
    } else {
        const icaltimetype u = icaltime_convert_to_zone(t, icaltimezone_get_utc_timezone());
        std::snprintf(buf, sizeof buf, "%04d%02d%02dT%02d%02d%02dZ", u.year, u.month, u.day, u.hour,
                      u.minute, u.second);
    }
    return QString::fromLatin1(buf);
}

// Steps of libical's recurrence iterator taken for one event at most: a rule whose
// occurrences are rare (yearly on the 29th of February of a Monday) still ends.
constexpr int kRecurrenceSteps = 100000;

} // namespace

Written write(const ct::CellTable& meetings, QIODevice& out, const UidOf& uidOf,
              const QTimeZone& zone, const QDateTime& stamp, const Progress& progress)
{
    return writeBatches(onlyTable(meetings), out, uidOf, zone, stamp, progress);
}

QByteArray calendarOf(const ct::CellTable& meetings, int row, const QString& uid,
                      const QTimeZone& zone, const QDateTime& stamp)
{
    ct::CellTable one(meetings.columnCount());
    for (int c = 0; c < meetings.columnCount(); ++c) {
        if (meetings.isNull(row, c))
            one.appendNullCell();
        else
            one.appendCell(meetings.view(row, c));
    }
    QByteArray bytes;
    QBuffer b(&bytes);
    b.open(QIODevice::WriteOnly);
    const Written w = write(
        one, b, [&uid](QStringView) { return uid; }, zone, stamp);
    return w.events == 1 ? bytes : QByteArray();
}

Written writeBatches(const RowBatches& next, QIODevice& out, const UidOf& uidOf,
                     const QTimeZone& zone, const QDateTime& stamp, const Progress& progress)
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
            line.append("UID:");
            appendEscaped(line, uidOf(serno));
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
    Scanned scanned = scan(utf8Of(bytes));
    const std::vector<EventPlace>& places = scanned.events;

    Records out;
    out.rows = ct::CellTable(tables::kMeetColumns);
    out.notes = std::move(scanned.notes);
    Component root(icalparser_parse_string(scanned.text.constData()));
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
    const QDate horizon = today.addYears(1);

    struct Event {
        icalcomponent* ev;
        icalcomponent* calendar;
        EventPlace place;
        QString uid;
    };
    std::vector<Event> events;
    std::size_t k = 0;
    for (icalcomponent* cal : calendars)
        for (icalcomponent* ev = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); ev;
             ev = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT), ++k) {
            const char* uid = icalcomponent_get_uid(ev);
            events.push_back({ev, cal, k < places.size() ? places[k] : EventPlace{},
                              QString::fromUtf8(uid ? uid : "").trimmed()});
        }

    // Moved or cancelled occurrences: events with a RECURRENCE-ID, by their event's UID.
    struct Moved {
        icaltimetype when;
        std::size_t event;
    };
    QHash<QString, std::vector<Moved>> moved;
    for (std::size_t i = 0; i < events.size(); ++i)
        if (icalproperty* rid =
                icalcomponent_get_first_property(events[i].ev, ICAL_RECURRENCEID_PROPERTY);
            rid && !events[i].uid.isEmpty())
            moved[events[i].uid].push_back(
                {zoned(icalproperty_get_recurrenceid(rid), rid, events[i].calendar), i});

    for (const Event& e : events) {
        icalcomponent* const ev = e.ev;
        const EventPlace& place = e.place;
        const int begin = std::max(place.begin, 1); // 1: an event the scan did not place
        auto lineOf = [&](const char* name) {
            return place.first.value(name, {begin, false}).first;
        };
        auto skip = [&](int line, const QString& why) {
            out.skipped.push_back({line ? line : begin, why + u"这个事件没有导入。"_s});
        };
        if (!place.fault.isEmpty()) {
            skip(place.faultLine, place.fault);
            continue;
        }
        // A property written with a value in the file that libical could not keep.
        auto lost = [&](icalproperty_kind kind, const char* name) {
            const auto at = place.first.find(name);
            return at != place.first.end() && at->second &&
                   !icalcomponent_get_first_property(ev, kind);
        };
        bool broken = false;
        for (const auto& [kind, name] : {std::pair{ICAL_DTSTART_PROPERTY, "DTSTART"},
                                         std::pair{ICAL_SUMMARY_PROPERTY, "SUMMARY"},
                                         std::pair{ICAL_LOCATION_PROPERTY, "LOCATION"}})
            if (!broken && lost(kind, name)) {
                skip(lineOf(name), u"%1 的值无法读取。"_s.arg(QString::fromLatin1(name)));
                broken = true;
            }
        if (broken)
            continue;
        icalproperty* dtstart = icalcomponent_get_first_property(ev, ICAL_DTSTART_PROPERTY);
        if (!dtstart) {
            skip(begin, u"没有开始时间（DTSTART）。"_s);
            continue;
        }
        const icaltimetype start = icalcomponent_get_dtstart(ev);
        if (!localOf(start, zone)) {
            skip(lineOf("DTSTART"), u"DTSTART 的日期或时间“%1”不存在。"_s.arg(rawValue(dtstart)));
            continue;
        }
        if (icalparameter* tz = icalproperty_get_first_parameter(dtstart, ICAL_TZID_PARAMETER);
            tz && !start.zone)
            out.notes.push_back(
                {lineOf("DTSTART"), u"不认识的时区“%1”：按当地时间导入。"_s.arg(
                                        QString::fromUtf8(icalparameter_get_tzid(tz)))});

        QDate recorded = today;
        if (icalproperty* created = icalcomponent_get_first_property(ev, ICAL_CREATED_PROPERTY)) {
            if (const auto when = localOf(icalproperty_get_created(created), zone))
                recorded = when->date;
            else
                out.notes.push_back(
                    {lineOf("CREATED"),
                     u"CREATED 的日期“%1”不存在，纪录日期用今天。"_s.arg(rawValue(created))});
        }
        const char* summary = icalcomponent_get_summary(ev);
        const char* location = icalcomponent_get_location(ev);
        const QString topic = QString::fromUtf8(summary ? summary : "");
        const QString where = QString::fromUtf8(location ? location : "");
        const QString recordText = cardmodul::datetext(recorded);

        auto emit = [&](const icaltimetype& when, const QString& uid) {
            const auto local = localOf(when, zone);
            if (!local)
                return;
            out.rows.appendNullCell();
            for (int col = 1; col < tables::kMeetColumns; ++col) {
                if (col == c.recordDate)
                    out.rows.appendCell(recordText);
                else if (col == c.topic)
                    out.rows.appendCell(topic);
                else if (col == c.place)
                    out.rows.appendCell(where);
                else if (col == c.meetDate)
                    out.rows.appendCell(cardmodul::datetext(local->date));
                else if (col == c.hour && local->time)
                    out.rows.appendCell(QString::number(local->time->hour()));
                else if (col == c.minute && local->time)
                    out.rows.appendCell(QString::number(local->time->minute()));
                else
                    out.rows.appendNullCell();
            }
            out.lines.push_back(begin);
            out.uids.push_back(uid);
        };

        // A moved occurrence: the meeting it became, unless it was called off.
        if (icalproperty* rid = icalcomponent_get_first_property(ev, ICAL_RECURRENCEID_PROPERTY)) {
            const icaltimetype which = zoned(icalproperty_get_recurrenceid(rid), rid, e.calendar);
            if (icalcomponent_get_status(ev) == ICAL_STATUS_CANCELLED)
                continue;
            emit(start, e.uid.isEmpty() ? QString() : e.uid + u'/' + recurrenceText(which));
            ++out.fromRecurring; // an occurrence of a recurring event
            continue;
        }

        icalproperty* rrule = icalcomponent_get_first_property(ev, ICAL_RRULE_PROPERTY);
        icalproperty* rdate = icalcomponent_get_first_property(ev, ICAL_RDATE_PROPERTY);
        if (!rrule && !rdate) {
            emit(start, e.uid);
            continue;
        }

        // A recurring event: its occurrences from its start to a year after today.
        std::vector<icaltimetype> times;
        auto past = [&](const icaltimetype& t) {
            const auto local = localOf(t, zone);
            return !local || local->date > horizon;
        };
        for (icalproperty* p = rrule; p;
             p = icalcomponent_get_next_property(ev, ICAL_RRULE_PROPERTY)) {
            const icalrecurrencetype rule = icalproperty_get_rrule(p);
            icalrecur_iterator* it = icalrecur_iterator_new(rule, start);
            if (!it) {
                out.notes.push_back({lineOf("RRULE"),
                                     u"重复规则“%1”无法读取：只导入了第一次。"_s.arg(rawValue(p))});
                times.push_back(start);
                continue;
            }
            for (int step = 0; step < kRecurrenceSteps; ++step) {
                icaltimetype t = icalrecur_iterator_next(it);
                if (icaltime_is_null_time(t) || past(t))
                    break;
                t.zone = start.zone;
                times.push_back(t);
                if (times.size() > std::size_t(kMaxOccurrences) * 4)
                    break; // enough to find the first kMaxOccurrences after the exceptions
            }
            icalrecur_iterator_free(it);
        }
        if (!rrule)
            times.push_back(start); // the start is the first occurrence of an RDATE list
        for (icalproperty* p = rdate; p;
             p = icalcomponent_get_next_property(ev, ICAL_RDATE_PROPERTY)) {
            const icaldatetimeperiodtype d = icalproperty_get_rdate(p);
            const icaltimetype t =
                zoned(icaltime_is_null_time(d.time) ? d.period.start : d.time, p, e.calendar);
            if (!icaltime_is_null_time(t) && !past(t))
                times.push_back(t);
        }
        std::vector<std::pair<Instant, icaltimetype>> exceptions;
        for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_EXDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(ev, ICAL_EXDATE_PROPERTY)) {
            const icaltimetype x = zoned(icalproperty_get_exdate(p), p, e.calendar);
            exceptions.push_back({instantOf(x, start), x});
        }
        if (!e.uid.isEmpty())
            for (const Moved& m : moved.value(e.uid))
                exceptions.push_back({instantOf(m.when, start), m.when});
        std::stable_sort(times.begin(), times.end(),
                         [&](const icaltimetype& a, const icaltimetype& b) {
                             return instantOf(a, start) < instantOf(b, start);
                         });
        times.erase(std::unique(times.begin(), times.end(),
                                [&](const icaltimetype& a, const icaltimetype& b) {
                                    return instantOf(a, start) == instantOf(b, start);
                                }),
                    times.end());
        int made = 0;
        QDate last;
        for (const icaltimetype& t : times) {
            const bool excepted =
                std::any_of(exceptions.begin(), exceptions.end(),
                            [&](const auto& x) { return names(x.first, x.second, t, start); });
            if (excepted)
                continue;
            if (made == kMaxOccurrences) {
                out.notes.push_back({begin, u"重复的事件“%1”只导入了前 %2 次（到 %3）。"_s.arg(
                                                topic, QString::number(kMaxOccurrences),
                                                cardmodul::datetext(last))});
                break;
            }
            emit(t, e.uid.isEmpty() ? QString() : e.uid + u'/' + recurrenceText(t));
            if (const auto local = localOf(t, zone))
                last = local->date;
            ++made;
        }
        if (made == 0)
            out.notes.push_back(
                {begin, u"重复的事件“%1”从开始到一年以后（%2）没有一次可以导入。"_s.arg(
                            topic, cardmodul::datetext(horizon))});
        ++out.recurringEvents;
        out.fromRecurring += made;
    }
    return out;
}

} // namespace exchange::ical
