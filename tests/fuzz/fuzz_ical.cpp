// The iCalendar reader on any bytes: every event is read as a meeting with a date text
// and a departure time within the day, or the file is refused with the line of its fault.

#include "exchange/ical.h"
#include "modul/cardmodul.h"
#include "modul/tables.h"
#include "tests/fuzz/readers.h"

#include <cstdint>

namespace {
const int kDate = tables::meet::meet_date;
const int kHour = tables::meet::go_hour;
const int kMinute = tables::meet::go_second;

void requireWithin(QStringView cell, int highest)
{
    if (cell.isEmpty())
        return;
    bool number = false;
    const int v = cell.toInt(&number);
    FUZZ_REQUIRE(number && v >= 0 && v <= highest, "a departure time within the day");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    static const QTimeZone zone("Asia/Shanghai");
    exchange::Records read;
    try {
        read = exchange::ical::read(bytes, zone, QDate(2026, 12, 9));
    } catch (const exchange::DataError& e) {
        FUZZ_REQUIRE(e.line() >= 1 && !e.message().isEmpty(), "a fault names its line");
        return 0;
    }
    fuzz::requireLines(read, bytes.size());
    FUZZ_REQUIRE(read.rows.columnCount() == tables::kMeetColumns, "meet_tab's columns");
    for (int r = 0; r < read.rows.rowCount(); ++r) {
        const QString date = read.rows.view(r, kDate).toString();
        FUZZ_REQUIRE(cardmodul::datetext(cardmodul::parseDate(date).value_or(QDate())) == date,
                     "a date text of a real date");
        requireWithin(read.rows.view(r, kHour), 23);
        requireWithin(read.rows.view(r, kMinute), 59);
    }
    return 0;
}
