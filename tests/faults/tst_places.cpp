// Places the program cannot write: a read-only file and a read-only directory (as a user
// that permissions bind), and a disk that fills up during a save. The user is told once
// what is wrong; the file keeps every byte and every confirmed row.

#include "cards/cardmain.h"
#include "diary/dailyfrm.h"
#include "meetings/meetfrm.h"
#include "modul/tables.h"
#include "platform/appinfo.h"
#include "platform/clock.h"
#include "tests/faults/faultkit.h"
#include "tests/support/testsupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using testsupport::box;
using testsupport::TempDb;

class tst_places : public testsupport::BoxTest {
    Q_OBJECT
private Q_SLOTS:
    // The program run by a user who may read but not write the file, or not write the
    // directory the journal goes into: refused at open with one message naming the place,
    // as is ctdb check; the file unchanged and nothing made beside it.
    void readOnlyPlace_isRefusedAtOpen_data()
    {
        QTest::addColumn<bool>("directory");
        QTest::addColumn<QString>("message"); // %1: the file or its directory
        QTest::newRow("read-only file")
            << false << u"没有读写数据库文件“%1”的权限（Permission denied）。"_s;
        QTest::newRow("read-only directory")
            << true
            << u"数据库文件所在的目录“%1”不能写入，程序无法保存任何数据。请检查这个目录的权限"
               "（Permission denied）。"_s;
    }
    void readOnlyPlace_isRefusedAtOpen()
    {
        QFETCH(bool, directory);
        QFETCH(QString, message);
        const auto programs = faults::reachableDir();
        const auto data = faults::reachableDir();
        QVERIFY(programs->isValid() && data->isValid());
        const QString file = data->path() + u"/"_s + cardmodul::kDbFileName;
        cardmodul::createDatabase(file);
        if (faults::isRoot()) {
            // The unprivileged user owns what it may write, root the rest.
            QVERIFY(faults::chownTo(directory ? file : data->path(), faults::kNobody));
        } else {
            ::chmod(QFile::encodeName(directory ? data->path() : file).constData(),
                    directory ? 0555 : 0444);
        }
        const QByteArray before = faults::digest(file);
        const QString child = faults::copyProgram(faults::childProgram(), programs->path());
        const QString ctdb = faults::copyProgram(QStringLiteral(CT_CTDB), programs->path());
        QVERIFY(!child.isEmpty() && !ctdb.isEmpty());

        const QStringList cmd = faults::asUnprivileged({child, u"open"_s, data->path()});
        const faults::Run opened = faults::run(cmd.first(), cmd.mid(1));
        QVERIFY2(opened.finished, qPrintable(opened.err));
        QCOMPARE(opened.code, 1);
        const QString shown = message.arg(directory ? data->path() : file);
        QCOMPARE(opened.out, u"box\t"_s + shown + u"\n"_s);

        const QStringList check = faults::asUnprivileged({ctdb, u"check"_s, data->path()});
        const faults::Run checked = faults::run(check.first(), check.mid(1));
        QCOMPARE(checked.code, 1);
        QVERIFY2(checked.err.contains(shown), qPrintable(checked.err));

        QCOMPARE(faults::digest(file), before);
        QCOMPARE(faults::filesIn(data->path()), QStringList{cardmodul::kDbFileName});
        ::chmod(QFile::encodeName(data->path()).constData(), 0755);
    }

    // The disk fills up during a save: the run-error box says so, the save is not in the
    // file, the file is as it was and sound; with room made, the same save goes through.
    void diskFullDuringASave_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<qint64>("spare"); // bytes left free
        QTest::addColumn<int>("textChars");
        QTest::newRow("diary, no room at all") << u"diary"_s << qint64(0) << 20;
        QTest::newRow("diary, room for the journal, not the text")
            << u"diary"_s << qint64(64 << 10) << 300000;
        QTest::newRow("card, no room at all") << u"card"_s << qint64(0) << 20;
        QTest::newRow("meeting, no room at all") << u"meeting"_s << qint64(0) << 20;
    }
    void diskFullDuringASave()
    {
        QFETCH(QString, window);
        QFETCH(qint64, spare);
        QFETCH(int, textChars);
        faults::Tmpfs disk(4 << 20);
        if (!disk.mounted())
            QSKIP(qPrintable(u"no small disk to fill: "_s + disk.why()));
        ctclock::FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(10, 0)));
        TempDb db(false);
        appinfo::setExeDir(disk.path());
        cardmodul::createDatabase(cardmodul::dbFilePath());
        db.exec(u"insert into daily_tab values ('2026-12-07', '昨天写了')"_s);
        db.exec(u"insert into cardtab (full_nam, o_phone) values (?, '1')"_s,
                {cardmodul::namcode(u"张三"_s)});
        const QString text = QString(textChars, QChar(u'满'));
        const auto stored = [&db] {
            return QList<QList<QStringList>>{db.rows(u"select * from daily_tab order by 1"_s),
                                             db.rows(u"select * from cardtab order by 1"_s),
                                             db.rows(u"select * from meet_tab order by 1"_s)};
        };
        const QList<QList<QStringList>> before = stored();
        db.openShared();

        std::unique_ptr<QDialog> w;
        std::function<void()> save;
        QString done;
        if (window == u"diary") {
            auto* f = new dailyfrm;
            w.reset(f);
            QVERIFY(f->Form_Load());
            f->logtxt->setPlainText(text);
            save = [f] { f->dailycmd_Click(); };
            done = u"日记记录成功！"_s;
        } else if (window == u"card") {
            auto* f = new cardmain;
            w.reset(f);
            f->Form_Load();
            f->nametxt->setText(text.left(10));
            f->o_phonetxt->setText(u"5555"_s);
            save = [f] { f->Newcmd_Click(); };
            done = u"纪录被成功增加"_s;
        } else {
            auto* f = new meetfrm;
            w.reset(f);
            f->Form_Load();
            f->meettxt->setText(text);
            f->meetdaytxt->setText(u"2026-12-09"_s);
            save = [f] { f->addcmd_Click(); };
            done = u"纪录增加成功！"_s;
        }
        const QByteArray bytes = faults::digest(db.file());
        QVERIFY(disk.fill(spare));
        boxes().expect(box(u"程序运行错误：13磁盘已满，操作没有完成。请腾出磁盘空间后再试"
                           "（database or disk is full）"_s));
        save();
        CT_VERIFY_BOXES(boxes());
        QCOMPARE(faults::filesIn(disk.path()), (QStringList{cardmodul::kDbFileName, u"filler"_s}));
        QCOMPARE(faults::digest(db.file()), bytes);
        QCOMPARE(stored(), before);

        disk.unfill();
        boxes().reset();
        boxes().expect(box(done));
        save();
        CT_VERIFY_BOXES(boxes());
        QVERIFY(stored() != before);
        cardmodul::resetdb();
        const faults::Run check = faults::ctdbCheck(disk.path());
        QVERIFY2(check.code == 0, qPrintable(check.err));
    }
};

QTEST_MAIN(tst_places)
#include "tst_places.moc"
