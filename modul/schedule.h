#pragma once
// When the program reminds its user: the one place for the minutes of the meeting
// reminder, when a meeting is due, the evening prompt, and the 17:00 rule that the tick,
// the session-end guard and the logout inhibitor share.

#include <QString>
#include <QTime>

using namespace Qt::StringLiterals;

namespace schedule {

// The text of the evening prompt and of the session-end refusal.
inline const QString kDiaryPrompt = u"请写今天工作日记"_s;

// The meeting reminder looks at minutes 0, 10, 20, 30, 40, 50 and 55 of each hour.
bool isReminderMinute(const QTime& t);

// A meeting that leaves at hour:minute is announced at t from 30 minutes before its
// departure (35 when it leaves in the next hour) until 12 minutes after it.
bool isDue(const QTime& t, int hour, int minute);

// From 17:00 today's diary entry is required: the session may not end without it.
bool todayEntryRequired(const QTime& t);

// The evening prompt for today's entry: from 17:00, at minute 25 of each hour.
bool isEveningPromptMinute(const QTime& t);

} // namespace schedule
