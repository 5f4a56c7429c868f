#include "tools/history.h"

#include "modul/cardmodul.h"
#include "modul/dailytab.h"
#include "platform/clock.h"
#include "tools/console.h"

using namespace Qt::StringLiterals;

namespace history {

namespace {

QString textOf(const std::optional<QString>& t)
{
    return t ? *t : u"（空）"_s;
}

// The entry's date as it is stored: a typed valid date as its date text.
QString stored(const QString& date)
{
    return cardmodul::normdate(date);
}

} // namespace

int list(const QString& date)
{
    try {
        adodb::Connection c;
        c.Open(cardmodul::connectionText());
        const auto current = dailytab::find(c, stored(date));
        const auto versions = dailytab::history(c, stored(date));
        if (!current && versions.isEmpty()) {
            console::err(u"%1 没有日记，也没有被替换过的日记。"_s.arg(stored(date)));
            return console::Failed;
        }
        console::out(u"%1 现在的日记："_s.arg(stored(date)));
        console::out(current ? textOf(current->desc) : u"（没有）"_s);
        if (versions.isEmpty()) {
            console::out(u"没有被替换过的日记。"_s);
            return console::Ok;
        }
        for (const dailytab::Version& v : versions) {
            console::out(QString());
            console::out(u"第 %1 号，%2 被替换："_s.arg(v.serno).arg(v.replacedAt));
            console::out(textOf(v.desc));
        }
        console::out(QString());
        console::out(u"要恢复某一号：ctdb history %1 --restore 号码"_s.arg(stored(date)));
        return console::Ok;
    } catch (const adodb::Error& e) {
        return console::failed(e);
    }
}

int bringBack(const QString& date, qint64 serno)
{
    try {
        adodb::Connection c;
        c.Open(cardmodul::connectionText());
        bool found = false;
        for (const dailytab::Version& v : dailytab::history(c, stored(date)))
            found = found || v.serno == serno;
        if (!found) {
            console::err(
                u"%1 的日记没有第 %2 号被替换的文字；用“ctdb history %1”查看。"_s.arg(stored(date))
                    .arg(serno));
            return console::Failed;
        }
        dailytab::restore(c, serno, ctclock::now());
        console::out(
            u"已恢复 %1 的第 %2 号日记；原来的文字留在历史里。"_s.arg(stored(date)).arg(serno));
        return console::Ok;
    } catch (const adodb::Error& e) {
        return console::failed(e);
    }
}

} // namespace history
