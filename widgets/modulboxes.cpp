#include "widgets/modulboxes.h"

#include "modul/cardmodul.h"
#include "widgets/msgbox.h"
#include "widgets/notify.h"

#include <QDir>

namespace cardmodul {

bool opendb()
{
    const std::optional<adodb::Error> failure = connectShared();
    if (!failure)
        return true;
    msgbox::show({failure->description(), msgbox::Buttons::OK, u"Connection Error"_s,
                  msgbox::Icon::Exclamation, false});
    return false;
}

bool windowdb()
{
    if (dbopen || opendb())
        return true;
    msgbox::show({u"Database not found!, Please place the database with the same path as "
                  "the .exe file"_s,
                  msgbox::Buttons::OK, u"Database not found!"_s, msgbox::Icon::Exclamation, false});
    return false;
}

void meetremind(const QDateTime& now)
{
    QString message;
    try {
        message = meetmessage(now);
    } catch (const adodb::Error&) {
        return;
    }
    if (!message.isEmpty())
        notify::remind(message);
}

void runError(const adodb::Error& e)
{
    msgbox::show(u"程序运行错误："_s + QString::number(e.number()) + e.description());
}

void tellDamage(const QString& file, const QString& problems)
{
    msgbox::show({u"数据库文件“%1”已经损坏：检查时发现了问题。请不要继续在里面写入：退出程序，"
                  "用“ctdb restore”从程序目录下 backups 里最近的备份恢复，或者找人帮忙。"
                  "\n（%2）"_s.arg(QDir::toNativeSeparators(file), problems),
                  msgbox::Buttons::OK,
                  {},
                  msgbox::Icon::Critical,
                  false});
}

} // namespace cardmodul
