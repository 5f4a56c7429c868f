#include "app/background.h"

#include "modul/cardmodul.h"
#include "sync/background.h"
#include "widgets/notify.h"

using namespace Qt::StringLiterals;

namespace shell {

void startBackgroundSync(QObject* owner)
{
    ctsync::Background::Settings s;
    s.connectionText = cardmodul::connectionText();
    s.dbFile = cardmodul::dbFilePath();
    // Test seams: a quicker schedule for the tests that run the program.
    if (const QByteArray first = qgetenv("CT_SYNC_FIRST_MS"); !first.isEmpty())
        s.intervals.first = std::chrono::milliseconds(first.toLongLong());
    if (const QByteArray every = qgetenv("CT_SYNC_EVERY_MS"); !every.isEmpty())
        s.intervals.every = std::chrono::milliseconds(every.toLongLong());
    auto* b = new ctsync::Background(s, owner);
    // A day of failed syncs: one note on the desktop (the background never shows a box).
    QObject::connect(b, &ctsync::Background::longFailure, owner, [](const QString& why) {
        notify::send(
            {u"名片、会议和日记已经一天没有和服务器同步了：%1\n用“ctdb sync status”查看。"_s.arg(
                why)});
    });
    b->start();
}

} // namespace shell
