#pragma once
// A compact table of nullable text cells: one UTF-16 pool and one small record per cell.
// Record sets read into it and grids show it, so 100,000 rows cost a few allocations.

#include <QString>
#include <QStringView>

#include <cstdint>
#include <vector>

namespace ct {

class CellTable {
public:
    CellTable() = default;
    explicit CellTable(int columns) : m_columns(columns) {}

    int columnCount() const { return m_columns; }
    int rowCount() const { return m_columns == 0 ? 0 : static_cast<int>(m_cells.size()) / m_columns; }

    // Appends one row of empty (non-null) cells and returns its index.
    int appendRow();
    // Sets a cell; a null cell reads back as empty text and isNull() true.
    void set(int row, int column, QStringView text);
    void setNull(int row, int column);
    void appendCell(QStringView text); // fills the row being built, left to right
    void appendNullCell();

    QStringView view(int row, int column) const;
    QString text(int row, int column) const { return view(row, column).toString(); }
    bool isNull(int row, int column) const;

    // Resizes to the given number of rows; new rows are empty.
    void resizeRows(int rows);
    void setColumnCount(int columns); // keeps texts in columns that remain
    void clearTexts();                // every cell becomes empty, dimensions stay
    // Applies f to every UTF-16 unit of one column, in place (length-preserving codes).
    template <typename F> void transformColumn(int column, F f)
    {
        for (int r = 0, n = rowCount(); r < n; ++r) {
            const Cell& c = cell(r, column);
            if (c.length & kNullBit)
                continue;
            for (std::uint32_t i = 0; i < c.length; ++i)
                m_pool[c.start + i] = f(m_pool[c.start + i]);
        }
    }
    void reserve(int rows, int poolUnits);
    std::size_t memoryBytes() const;

private:
    struct Cell {
        std::uint32_t start = 0;
        std::uint32_t length = 0; // high bit: null
    };
    static constexpr std::uint32_t kNullBit = 0x80000000u;
    Cell& cell(int row, int column) { return m_cells[std::size_t(row) * m_columns + column]; }
    const Cell& cell(int row, int column) const
    {
        return m_cells[std::size_t(row) * m_columns + column];
    }
    Cell store(QStringView text);

    int m_columns = 0;
    std::vector<Cell> m_cells;
    std::vector<char16_t> m_pool;
};

} // namespace ct
