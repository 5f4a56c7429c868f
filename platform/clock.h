#pragma once
// The local date and time. Tests set it; the program reads the wall clock.

#include <QDateTime>

#include <functional>

namespace ctclock {

QDateTime now();
inline QDate today() { return now().date(); }

// Test seam: a function that answers now(); an empty function restores the wall clock.
void setSource(std::function<QDateTime()> source);

// Holds a fixed time for as long as it lives.
class FixedClock {
public:
    explicit FixedClock(const QDateTime& t);
    ~FixedClock();
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;
    void set(const QDateTime& t) { m_now = t; }

private:
    QDateTime m_now;
};

} // namespace ctclock
