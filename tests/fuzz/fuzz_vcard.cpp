// The vCard reader on any bytes: a card file is read whole or refused with the line of
// its fault; what it read, written as vCard 4.0 and read again, gives the same cards.

#include "exchange/vcard.h"
#include "modul/tables.h"
#include "tests/fuzz/readers.h"

#include <QBuffer>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    exchange::Records first;
    try {
        first = exchange::vcard::read(bytes);
    } catch (const exchange::DataError& e) {
        FUZZ_REQUIRE(e.line() >= 1 && !e.message().isEmpty(), "a fault names its line");
        return 0;
    }
    fuzz::requireLines(first, bytes.size());
    FUZZ_REQUIRE(first.rows.columnCount() == tables::kCardColumns, "cardtab's columns");
    for (int r = 0; r < first.rows.rowCount(); ++r)
        FUZZ_REQUIRE(!first.rows.view(r, tables::kCardNameColumn).isEmpty(),
                     "a card without a name is refused, not read");

    QByteArray written;
    QBuffer out(&written);
    out.open(QIODevice::WriteOnly);
    exchange::vcard::write(first.rows, out);
    const exchange::Records again = exchange::vcard::read(written); // our own file reads
    fuzz::requireSameRows(first.rows, again.rows);
    return 0;
}
