#include "platform/celltable.h"

#include <algorithm>
#include <stdexcept>

namespace ct {

int CellTable::appendRow()
{
    m_cells.resize(m_cells.size() + std::size_t(m_columns));
    return rowCount() - 1;
}

CellTable::Cell CellTable::store(QStringView text)
{
    if (m_pool.size() + std::size_t(text.size()) >= kNullBit)
        throw std::length_error("cell table full");
    Cell c;
    c.start = static_cast<std::uint32_t>(m_pool.size());
    c.length = static_cast<std::uint32_t>(text.size());
    m_pool.insert(m_pool.end(), text.utf16(), text.utf16() + text.size());
    return c;
}

void CellTable::set(int row, int column, QStringView text)
{
    Cell& c = cell(row, column);
    // Reuse the old place when the new text fits; else append to the pool.
    if (!(c.length & kNullBit) && std::uint32_t(text.size()) <= c.length) {
        std::copy(text.utf16(), text.utf16() + text.size(), m_pool.begin() + c.start);
        c.length = static_cast<std::uint32_t>(text.size());
        return;
    }
    c = store(text);
}

void CellTable::setNull(int row, int column)
{
    cell(row, column) = Cell{0, kNullBit};
}

void CellTable::appendCell(QStringView text)
{
    m_cells.push_back(store(text));
}

void CellTable::appendNullCell()
{
    m_cells.push_back(Cell{0, kNullBit});
}

QStringView CellTable::view(int row, int column) const
{
    const Cell& c = cell(row, column);
    if (c.length & kNullBit || c.length == 0)
        return {};
    return QStringView(m_pool.data() + c.start, qsizetype(c.length));
}

bool CellTable::isNull(int row, int column) const
{
    return (cell(row, column).length & kNullBit) != 0;
}

void CellTable::resizeRows(int rows)
{
    m_cells.resize(std::size_t(std::max(rows, 0)) * m_columns);
}

void CellTable::setColumnCount(int columns)
{
    if (columns == m_columns)
        return;
    const int rows = rowCount();
    std::vector<Cell> cells(std::size_t(rows) * columns);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < std::min(columns, m_columns); ++c)
            cells[std::size_t(r) * columns + c] = cell(r, c);
    m_cells.swap(cells);
    m_columns = columns;
}

void CellTable::clearTexts()
{
    std::fill(m_cells.begin(), m_cells.end(), Cell{});
    m_pool.clear();
}

void CellTable::reserve(int rows, int poolUnits)
{
    m_cells.reserve(std::size_t(rows) * m_columns);
    m_pool.reserve(std::size_t(poolUnits));
}

std::size_t CellTable::memoryBytes() const
{
    return m_cells.capacity() * sizeof(Cell) + m_pool.capacity() * sizeof(char16_t);
}

} // namespace ct
