// The cell table fed arbitrary bytes, against Qt's own decoder: every cell decodes exactly
// as QStringDecoder (UTF-8, stateless, an initial BOM kept as text) decodes it, whether
// the table was given room first (as a record set gives it) or grows as it fills.
//
// Input: the first byte sets the columns (1..8) and (0xFF) whether a row of large cells
// comes between the cells, so that the table grows past its first room; then cells, each a
// length byte (0xFF: a null cell) and that many bytes.

#include "platform/celltable.h"

#include <QStringDecoder>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

struct Cell {
    QByteArray bytes;
    bool null = false;
    QString expected;
};

QString decoded(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

void compare(const ct::CellTable& t, const std::vector<const Cell*>& cells)
{
    const int cols = t.columnCount();
    if (std::size_t(t.rowCount()) * std::size_t(cols) != cells.size())
        std::abort();
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const int r = int(i / std::size_t(cols));
        const int col = int(i % std::size_t(cols));
        if (t.isNull(r, col) != cells[i]->null || t.view(r, col) != cells[i]->expected)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int cols = 1 + (data[0] & 7);
    const bool long_ = data[0] == 0xFF; // rare: such a run takes long
    std::vector<Cell> cells;
    std::size_t i = 1;
    while (i < size) {
        const unsigned n = data[i++];
        Cell c;
        if (n == 0xFF) {
            c.null = true;
        } else {
            const std::size_t take = std::min<std::size_t>(n, size - i);
            c.bytes = QByteArray(reinterpret_cast<const char*>(data + i), qsizetype(take));
            i += take;
            c.expected = decoded(c.bytes);
        }
        cells.push_back(c);
    }
    while (cells.size() % std::size_t(cols) != 0)
        cells.push_back(Cell{{}, true, {}});

    // Long: the cells, a row of large cells (the input over and over) and the cells again.
    std::vector<const Cell*> order;
    for (const Cell& c : cells)
        order.push_back(&c);
    Cell big;
    if (long_) {
        const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
        big.bytes = input.repeated(270000 / cols / qsizetype(size) + 1);
        big.expected = decoded(big.bytes);
        for (int c = 0; c < cols; ++c)
            order.push_back(&big);
        for (const Cell& c : cells)
            order.push_back(&c);
    }
    std::size_t units = 0;
    for (const Cell* c : order)
        units += std::size_t(c->bytes.size());

    for (const bool reserved : {true, false}) {
        ct::CellTable t(cols);
        if (reserved)
            t.reserve(0, units);
        for (const Cell* c : order) {
            if (c->null)
                t.appendNullCell();
            else
                t.appendCellUtf8(c->bytes.constData(), std::size_t(c->bytes.size()));
        }
        compare(t, order);
    }
    return 0;
}
