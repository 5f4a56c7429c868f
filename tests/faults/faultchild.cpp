// The fault suite's helper program, run as another process:
//   faultchild hold FILE exclusive|shared   holds the file's lock until its input ends
//   faultchild writer DIR FIRST             saves cards, meetings and diary entries through
//                                           the program's code until it is killed, telling
//                                           each write before ("try") and after ("ok")
//   faultchild open DIR                     opens DIR's database as the program does and
//                                           saves a card; tells every box it would show

#include "modul/cardmodul.h"
#include "modul/cardtab.h"
#include "modul/dailytab.h"
#include "modul/meettab.h"
#include "modul/tables.h"
#include "platform/appinfo.h"
#include "tests/faults/writes.h"
#include "widgets/modulboxes.h"
#include "widgets/msgbox.h"

#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

void say(const QString& line)
{
    const QByteArray b = line.toUtf8() + '\n';
    // One write per line: a kill never leaves half a line behind a whole one.
    [[maybe_unused]] const auto n = ::write(STDOUT_FILENO, b.constData(), std::size_t(b.size()));
}

int hold(const QString& file, bool exclusive)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK) {
        say(u"cannot open"_s);
        return 1;
    }
    const QByteArray key = cardmodul::kPassword.toUtf8();
    sqlite3_key(db, key.constData(), int(key.size()));
    sqlite3_exec(db, "PRAGMA cipher_page_size = 4096", nullptr, nullptr, nullptr);
    // A read inside an open transaction keeps a shared lock, as a backup that reads does.
    const char* take = exclusive ? "BEGIN EXCLUSIVE" : "BEGIN; SELECT count(*) FROM cardtab";
    if (sqlite3_exec(db, take, nullptr, nullptr, nullptr) != SQLITE_OK) {
        say(u"cannot lock: "_s + QString::fromUtf8(sqlite3_errmsg(db)));
        return 1;
    }
    say(u"holding"_s);
    char buf[64];
    while (::read(STDIN_FILENO, buf, sizeof buf) > 0) {
    }
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return 0;
}

void answerBoxesAloud()
{
    msgbox::setResponder([](const msgbox::Box& b) {
        QString text = b.text;
        say(u"box\t"_s + text.replace(u'\n', u"\\n"_s));
        return msgbox::Result::OK;
    });
}

QStringList card(const QString& name, const QString& note)
{
    QStringList values{cardmodul::namcode(name)};
    for (int c = 2; c < tables::kCardColumns - 1; ++c)
        values << u"字段%1"_s.arg(c);
    values << note;
    return values;
}

void writeOne(adodb::Connection& c, qint64 id)
{
    const QString n = QString::number(id);
    switch (writes::kindOf(id)) {
    case writes::Kind::Card:
        say(u"try card "_s + n);
        cardtab::add(c, card(writes::cardName(id), n));
        say(u"ok card "_s + n);
        break;
    case writes::Kind::Meeting:
        say(u"try meet "_s + n);
        meettab::add(c, {u"2026-12-08"_s, writes::meetingTopic(id), u"地点"_s + n, u"2026-12-09"_s,
                         u"9"_s, u"30"_s});
        say(u"ok meet "_s + n);
        break;
    case writes::Kind::Diary:
        say(u"try diary "_s + n);
        dailytab::save(c, writes::diaryDate(id), writes::diaryText(id), dailytab::Save::Replace,
                       QDateTime::currentDateTime());
        say(u"ok diary "_s + n);
        break;
    }
}

int writer(qint64 first)
{
    answerBoxesAloud();
    if (!cardmodul::opendb())
        return 1;
    adodb::Connection& c = cardmodul::dbconn();
    try {
        for (qint64 id = first;; ++id)
            writeOne(c, id);
    } catch (const adodb::Error& e) {
        say(u"error "_s + QString::number(e.number()) + e.description());
    }
    return 3;
}

int open()
{
    answerBoxesAloud();
    if (!cardmodul::opendb())
        return 1;
    try {
        cardtab::add(cardmodul::dbconn(), card(u"只读"_s, u"x"_s));
    } catch (const adodb::Error& e) {
        cardmodul::runError(e);
        return 2;
    }
    say(u"saved"_s);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const QString what = args.value(0);
    if (what == u"hold" && args.size() == 3)
        return hold(args[1], args[2] == u"exclusive");
    if (args.size() >= 2)
        appinfo::setExeDir(args[1]);
    if (what == u"writer" && args.size() == 3)
        return writer(args[2].toLongLong());
    if (what == u"open" && args.size() == 2)
        return open();
    std::fputs("usage: faultchild hold FILE exclusive|shared | writer DIR FIRST | open DIR\n",
               stderr);
    return 2;
}
