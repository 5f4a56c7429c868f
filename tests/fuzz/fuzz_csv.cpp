// The CSV readers on any bytes, as cards and as meetings, in the encoding found and in
// GB18030: read (rows that cannot be read passed over with their line) or refused with the
// line of the fault; what was read, written in the list's own headings and read again
// gives the same rows.

#include "exchange/csv.h"
#include "tests/fuzz/readers.h"

#include <QBuffer>

#include <cstdint>
#include <functional>
#include <optional>

namespace {

using exchange::Encoding;
using Reader = std::function<exchange::Records(QByteArrayView, std::optional<Encoding>)>;
using Writer = void (*)(const ct::CellTable&, QIODevice&, Encoding, const exchange::Progress&);

void roundTrip(QByteArrayView bytes, std::optional<Encoding> told, Reader read, Writer write)
{
    exchange::Records first;
    try {
        first = read(bytes, told);
    } catch (const exchange::DataError& e) {
        FUZZ_REQUIRE(e.line() >= 1 && !e.message().isEmpty(), "a fault names its line");
        return;
    }
    fuzz::requireLines(first, bytes.size());
    for (Encoding e : {Encoding::Utf8, Encoding::Gb18030}) {
        QByteArray written;
        QBuffer out(&written);
        out.open(QIODevice::WriteOnly);
        write(first.rows, out, e, {});
        const exchange::Records again = read(written, e);
        FUZZ_REQUIRE(again.skipped.empty(), "a file written is read whole");
        fuzz::requireSameRows(first.rows, again.rows);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    for (std::optional<Encoding> told :
         {std::optional<Encoding>{}, std::optional(Encoding::Gb18030)}) {
        roundTrip(bytes, told, exchange::csv::readCards, exchange::csv::writeCards);
        roundTrip(
            bytes, told,
            [](QByteArrayView b, std::optional<Encoding> t) {
                return exchange::csv::readMeetings(b, t, QDate(2026, 12, 9));
            },
            exchange::csv::writeMeetings);
    }
    return 0;
}
