#include "app/modul/filecheck.h"

#include "platform/adodb.h"
#include "platform/msgbox.h"

#include <QDir>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace cardmodul {

namespace {
bool isDamage(int code)
{
    const int primary = code & 0xff;
    return primary == 11 || primary == 26; // the engine's corrupt and not-a-database codes
}
} // namespace

std::optional<QString> damageOf(const QString& connectionText,
                                std::atomic<adodb::Connection*>& current)
{
    adodb::Connection c;
    try {
        c.Open(connectionText);
        current = &c;
        adodb::Recordset rs;
        rs.Open(u"PRAGMA quick_check"_s, c);
        QStringList problems;
        for (; !rs.eof(); rs.MoveNext())
            if (rs.Fields(0).text() != u"ok")
                problems << rs.Fields(0).text();
        current = nullptr;
        if (problems.isEmpty())
            return std::nullopt;
        return problems.join(u"；"_s);
    } catch (const adodb::Error& e) {
        current = nullptr;
        if (isDamage(e.number()))
            return e.description();
        return std::nullopt;
    }
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
