// The vCard reader on any bytes: a card file is read (cards that cannot be read passed
// over with their line) or refused with the line of its fault; what it read, written as
// vCard 4.0 with the UIDs it carried and read again, gives the same cards and UIDs.

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

    ct::CellTable numbered = first.rows; // the serial number: the row's index
    for (int r = 0; r < numbered.rowCount(); ++r)
        numbered.set(r, 0, QString::number(r));
    QByteArray written;
    QBuffer out(&written);
    out.open(QIODevice::WriteOnly);
    exchange::vcard::write(numbered, out, [&first](QStringView serno) {
        return first.uids[std::size_t(serno.toInt())];
    });
    const exchange::Records again = exchange::vcard::read(written); // our own file reads
    FUZZ_REQUIRE(again.skipped.empty() && again.notes.empty(), "a file written is read whole");
    fuzz::requireSameRows(first.rows, again.rows);
    FUZZ_REQUIRE(again.uids == first.uids, "the same UIDs");
    return 0;
}
