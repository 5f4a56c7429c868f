#include "platform/clock.h"

namespace ctclock {

namespace {
std::function<QDateTime()> g_source;
}

QDateTime now()
{
    return g_source ? g_source() : QDateTime::currentDateTime();
}

void setSource(std::function<QDateTime()> source)
{
    g_source = std::move(source);
}

FixedClock::FixedClock(const QDateTime& t) : m_now(t)
{
    setSource([this] { return m_now; });
}

FixedClock::~FixedClock()
{
    setSource({});
}

} // namespace ctclock
