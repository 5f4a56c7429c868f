#pragma once
// The writes of the crash child, each made from its number alone, so that the parent
// knows what an acknowledged write stored.

#include <QDate>
#include <QString>
#include <QStringList>

namespace writes {

enum class Kind { Card, Meeting, Diary };

inline Kind kindOf(qint64 id)
{
    return id % 3 == 0 ? Kind::Card : id % 3 == 1 ? Kind::Meeting : Kind::Diary;
}

// Every second diary write replaces the text of the date before it.
inline QString diaryDate(qint64 id)
{
    return QDate(2001, 1, 1).addDays(id / 6).toString(QStringLiteral("yyyy-MM-dd"));
}

// Long enough that a write touches more than one page.
inline QString diaryText(qint64 id)
{
    return QStringLiteral("日记%1：").arg(id) + QString(3000, QChar(u'记'));
}

inline QString cardName(qint64 id)
{
    return QStringLiteral("卡%1").arg(id);
}

inline QString meetingTopic(qint64 id)
{
    return QStringLiteral("会%1").arg(id);
}

} // namespace writes
