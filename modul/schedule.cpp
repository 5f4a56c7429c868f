#include "modul/schedule.h"

namespace schedule {

namespace {
constexpr int kEveningHour = 17;
} // namespace

bool isReminderMinute(const QTime& t)
{
    const int m = t.minute();
    return m % 10 == 0 || m == 55;
}

bool isDue(const QTime& t, int gh, int gm)
{
    const int h = t.hour();
    const int m = t.minute();
    if (h == gh)
        return gm - m >= -12 && gm - m <= 30;
    if (h == gh - 1)
        return (60 - m) + gm <= 35;
    if (h == gh + 1)
        return m + (60 - gm) <= 12;
    return false;
}

bool todayEntryRequired(const QTime& t)
{
    return t.hour() >= kEveningHour;
}

bool isEveningPromptMinute(const QTime& t)
{
    return todayEntryRequired(t) && t.minute() == 25;
}

} // namespace schedule
