#pragma once
// What the benchmarks share: made-up texts from a seeded generator, and the sqlcipher
// command line timed on the same file.

#include "modul/cardmodul.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>

namespace benchkit {

using namespace Qt::StringLiterals;

// n characters picked from the pool.
inline QString pick(QRandomGenerator& g, const QString& pool, int n)
{
    QString s;
    for (int i = 0; i < n; ++i)
        s += pool[int(g.bounded(pool.size()))];
    return s;
}

inline QString digits(QRandomGenerator& g, int n)
{
    QString s;
    for (int i = 0; i < n; ++i)
        s += QChar(u'0' + int(g.bounded(10)));
    return s;
}

// The command line's time for one statement on the file, from its start to its end.
inline double cli(const QString& file, const QString& sql)
{
    QProcess p;
    p.setProgram(u"sqlcipher"_s);
    p.setArguments({u"-batch"_s, file});
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer c;
    c.start();
    p.start();
    p.write((u"PRAGMA key='"_s + cardmodul::kPassword + u"';\nPRAGMA cipher_page_size=4096;\n"_s +
             sql + u"\n"_s)
                .toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(-1);
    return double(c.nsecsElapsed()) / 1e6;
}

} // namespace benchkit
