#include "tools/console.h"

#include "platform/adodb.h"
#include "platform/appinfo.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace console {

namespace {
void line(FILE* f, const QString& s)
{
    std::fputs(s.toUtf8().constData(), f);
    std::fputc('\n', f);
    std::fflush(f);
}
} // namespace

void out(const QString& s)
{
    line(stdout, s);
}

void err(const QString& s)
{
    line(stderr, s);
}

int failed(const adodb::Error& e)
{
    err(u"错误 %1：%2"_s.arg(e.number()).arg(e.description()));
    return Failed;
}

QString shown(const QString& file, bool output)
{
    if (file == u"-")
        return output ? u"标准输出"_s : u"标准输入"_s;
    return QDir::toNativeSeparators(file);
}

QString at(const QString& file, int line)
{
    if (line <= 0)
        return shown(file) + u"："_s;
    return shown(file) + u" 第 %1 行："_s.arg(line);
}

ProgressLine::ProgressLine(QString what, qint64 total)
    : m_what(std::move(what)), m_total(total), m_terminal(::isatty(2) != 0)
{
}

ProgressLine::~ProgressLine()
{
    if (m_terminal && m_total > kProgressFrom)
        update(m_total);
    if (m_shown)
        std::fputc('\n', stderr);
}

void ProgressLine::update(qint64 done)
{
    if (!m_terminal || (m_total <= kProgressFrom && done <= kProgressFrom))
        return;
    m_shown = true;
    const QString s = m_total == kUnknown ? u"\r%1：%2"_s.arg(m_what).arg(done)
                                          : u"\r%1：%2 / %3"_s.arg(m_what).arg(done).arg(m_total);
    std::fputs(s.toUtf8().constData(), stderr);
    std::fflush(stderr);
}

void takeDir(const QStringList& positional, const std::optional<QString>& dir,
             qsizetype expectedBefore)
{
    const qsizetype n = positional.size();
    if (n > expectedBefore + 1)
        throw UsageError(u"参数太多：%1"_s.arg(positional.mid(expectedBefore + 1).join(u' ')));
    std::optional<QString> chosen = dir;
    if (n == expectedBefore + 1) {
        if (chosen)
            throw UsageError(u"目录只能给一次（位置参数或 --dir）。"_s);
        chosen = positional.last();
    }
    if (chosen)
        appinfo::setExeDir(QFileInfo(*chosen).absoluteFilePath());
}

void scanOptions(const QStringList& in, const std::function<void(const QString&, bool)>& word,
                 const std::function<bool(const Option&)>& option)
{
    bool optionsDone = false;
    QStringList seen;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const QString& s = in[i];
        if (optionsDone || !s.startsWith(u"--"_s)) {
            word(s, optionsDone);
            continue;
        }
        if (s == u"--") {
            optionsDone = true;
            continue;
        }
        const qsizetype eq = s.indexOf(u'=');
        const QString name = eq < 0 ? s : s.left(eq);
        if (name != u"--help" && seen.contains(name))
            throw UsageError(u"选项 %1 只能给一次。"_s.arg(name));
        seen << name;
        const Option o(
            name,
            [&]() -> QString {
                if (eq >= 0)
                    return s.mid(eq + 1);
                if (i + 1 >= in.size())
                    throw UsageError(u"选项 %1 后面缺少值。"_s.arg(name));
                return in[++i];
            },
            eq < 0);
        if (!option(o))
            throw UsageError(u"不认识的选项：%1"_s.arg(s));
    }
}

} // namespace console
