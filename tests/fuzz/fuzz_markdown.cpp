// The diary's Markdown on any texts: what is written reads back to the same texts, and no
// line of a text begins a heading of the file.

#include "exchange/markdown.h"
#include "tests/fuzz/readers.h"

#include <QBuffer>
#include <QDate>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Texts apart at zero bytes, each the entry of a date of its own.
    const QString all = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    ct::CellTable entries(2);
    int day = 0;
    for (QStringView text : QStringView(all).split(QChar(0))) {
        entries.appendCell(QDate(2024, 1, 1).addDays(day++).toString(Qt::ISODate));
        entries.appendCell(text);
    }
    QByteArray written;
    QBuffer out(&written);
    out.open(QIODevice::WriteOnly);
    exchange::markdown::writeDiary(entries, out);
    FUZZ_REQUIRE(written.count("\n## ") == entries.rowCount(), "one heading for each entry");
    const exchange::Records back = exchange::markdown::readDiary(written);
    fuzz::requireSameRows(entries, back.rows);
    return 0;
}
