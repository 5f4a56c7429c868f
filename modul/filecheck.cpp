#include "modul/filecheck.h"

#include "platform/adodb.h"

using namespace Qt::StringLiterals;

namespace cardmodul {

namespace {
QStringList problemsOf(adodb::Connection& c, const QString& pragma)
{
    adodb::Recordset rs;
    rs.Open(pragma, c);
    QStringList problems;
    for (; !rs.eof(); rs.MoveNext())
        if (rs.Fields(0).text() != u"ok")
            problems << rs.Fields(0).text();
    return problems;
}
} // namespace

bool isDamage(int code)
{
    const int primary = code & 0xff;
    return primary == 11 || primary == 26; // the engine's corrupt and not-a-database codes
}

namespace {
// A check stopped by another program's lock or by an interruption says nothing of the file.
bool saysNothingOfTheFile(int code)
{
    const int primary = code & 0xff;
    return primary == 5 || primary == 6 || primary == 9; // busy, locked, interrupted
}
} // namespace

QStringList integrityProblems(adodb::Connection& c, Depth depth)
{
    const QString quick = u"PRAGMA quick_check"_s;
    try {
        return problemsOf(c, depth == Depth::Full ? u"PRAGMA integrity_check"_s : quick);
    } catch (const adodb::Error& stopped) {
        if (saysNothingOfTheFile(stopped.number()))
            throw;
        QStringList problems;
        if (depth == Depth::Full) {
            try {
                problems = problemsOf(c, quick);
            } catch (const adodb::Error&) {
            }
        }
        problems << u"检查无法读完整个文件（%1）"_s.arg(
            stopped.detail().isEmpty() ? stopped.description() : stopped.detail());
        return problems;
    }
}

std::optional<QString> damageOf(const QString& connectionText,
                                std::atomic<adodb::Connection*>& current)
{
    adodb::Connection c;
    try {
        c.Open(connectionText);
        current = &c;
        const QStringList problems = integrityProblems(c, Depth::Quick);
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

} // namespace cardmodul
