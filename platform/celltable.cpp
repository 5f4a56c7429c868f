#include "platform/celltable.h"

#include "platform/utf8.h"

#include <QStringDecoder>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace ct {

CellTable::Span CellTable::span(int row, int column) const
{
    const std::uint32_t from = column == 0 ? 0 : end(row, column - 1) & ~kNullBit;
    const std::uint32_t to = end(row, column) & ~kNullBit;
    return Span{m_rowStart[std::size_t(row)] + std::size_t(from), to - from};
}

inline void CellTable::beginCell()
{
    if (m_filled == 0) {
        if (m_columns <= 0)
            throw std::logic_error("a cell table without columns");
        m_rowStart.push_back(static_cast<std::uint32_t>(m_pool.size()));
    }
}

inline char16_t* CellTable::room(std::size_t n, std::size_t rowStart)
{
    const std::size_t start = m_pool.size();
    if (start + n >= 0xFFFFFFFFu || start + n - rowStart >= kNullBit)
        throw std::length_error("cell table full");
    return m_pool.room(n);
}

inline void CellTable::closeCell(bool null)
{
    const auto inRow = static_cast<std::uint32_t>(m_pool.size() - m_rowStart.back());
    m_ends.push_back(null ? inRow | kNullBit : inRow);
    if (++m_filled == m_columns)
        m_filled = 0;
}

int CellTable::appendRow()
{
    for (int c = 0; c < m_columns; ++c)
        appendCell({});
    return rowCount() - 1;
}

void CellTable::appendCell(QStringView text)
{
    beginCell();
    char16_t* const out = room(std::size_t(text.size()), m_rowStart.back());
    std::copy(text.utf16(), text.utf16() + text.size(), out);
    m_pool.resize(m_pool.size() + std::size_t(text.size()));
    closeCell(false);
}

void CellTable::appendNullCell()
{
    beginCell();
    closeCell(true);
}

namespace {

// Decodes a malformed cell as QStringDecoder does into out (room for one unit per byte);
// returns the end. Each cell is decoded on its own, so a sequence cut at a cell's end is
// malformed there and not carried into the next.
char16_t* decodeMalformed(const char* utf8, std::size_t bytes, char16_t* out)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return reinterpret_cast<char16_t*>(decoder.appendToBuffer(
        reinterpret_cast<QChar*>(out), QByteArrayView(utf8, qsizetype(bytes))));
}

} // namespace

void CellTable::appendCellUtf8(const char* utf8, std::size_t bytes)
{
    beginCell();
    // UTF-16 needs at most one unit per UTF-8 byte.
    char16_t* const out = room(bytes, m_rowStart.back());
    const auto* in = reinterpret_cast<const unsigned char*>(utf8);
    char16_t* end = utf8::decode(in, in + bytes, out);
    if (!end)
        end = decodeMalformed(utf8, bytes, out);
    m_pool.resize(m_pool.size() + std::size_t(end - out));
    closeCell(false);
}

void CellTable::appendRows(const CellTable& other)
{
    if (other.m_columns != m_columns || m_filled != 0 || other.m_filled != 0)
        throw std::logic_error("rows of another table shape, or a row half built");
    const std::size_t base = m_pool.size();
    if (base + other.m_pool.size() >= 0xFFFFFFFFu)
        throw std::length_error("cell table full");
    m_pool.append(other.m_pool.data(), other.m_pool.size());
    m_rowStart.reserve(m_rowStart.size() + other.m_rowStart.size());
    for (std::size_t r = 0; r < other.m_rowStart.size(); ++r)
        m_rowStart.push_back(static_cast<std::uint32_t>(base + other.m_rowStart[r]));
    m_ends.append(other.m_ends.data(), other.m_ends.size()); // within their rows
}

QStringView CellTable::view(int row, int column) const
{
    const Span s = span(row, column);
    if (s.length == 0)
        return {};
    return QStringView(m_pool.data() + s.start, qsizetype(s.length));
}

bool CellTable::isNull(int row, int column) const
{
    return (end(row, column) & kNullBit) != 0;
}

void CellTable::rewriteRow(int row, int column, std::optional<QStringView> text)
{
    const Span self = span(row, column);
    if (text && !isNull(row, column) && std::uint32_t(text->size()) == self.length) {
        std::copy(text->utf16(), text->utf16() + text->size(), m_pool.data() + self.start);
        return;
    }
    // The row's cells move to the pool's end, one after another as always.
    std::vector<char16_t> copy;
    std::vector<bool> nulls;
    std::vector<std::uint32_t> lengths;
    for (int c = 0; c < m_columns; ++c) {
        const bool replaced = c == column;
        const QStringView t = replaced ? text.value_or(QStringView()) : view(row, c);
        copy.insert(copy.end(), t.utf16(), t.utf16() + t.size());
        lengths.push_back(std::uint32_t(t.size()));
        nulls.push_back(replaced ? !text : isNull(row, c));
    }
    const std::size_t at = m_pool.size();
    std::copy(copy.begin(), copy.end(), room(copy.size(), at));
    m_pool.resize(at + copy.size());
    m_rowStart[std::size_t(row)] = static_cast<std::uint32_t>(at);
    std::uint32_t inRow = 0;
    for (int c = 0; c < m_columns; ++c) {
        inRow += lengths[std::size_t(c)];
        end(row, c) = nulls[std::size_t(c)] ? inRow | kNullBit : inRow;
    }
}

void CellTable::set(int row, int column, QStringView text)
{
    rewriteRow(row, column, text);
}

void CellTable::setNull(int row, int column)
{
    if (!isNull(row, column))
        rewriteRow(row, column, std::nullopt);
}

void CellTable::resizeRows(int rows)
{
    rows = std::max(rows, 0);
    if (m_filled != 0) { // a row left half built is dropped
        m_filled = 0;
        m_rowStart.resize(m_rowStart.size() - 1);
        m_ends.resize(std::size_t(rowCount()) * std::size_t(m_columns));
    }
    if (rows <= rowCount()) {
        m_rowStart.resize(std::size_t(rows));
        m_ends.resize(std::size_t(rows) * std::size_t(m_columns));
        return;
    }
    m_rowStart.resize(std::size_t(rows), static_cast<std::uint32_t>(m_pool.size()));
    m_ends.resize(std::size_t(rows) * std::size_t(m_columns), 0);
}

void CellTable::setColumnCount(int columns)
{
    if (columns == m_columns)
        return;
    CellTable out(columns);
    for (int r = 0, n = rowCount(); r < n; ++r) {
        for (int c = 0; c < columns; ++c) {
            if (c >= m_columns)
                out.appendCell({});
            else if (isNull(r, c))
                out.appendNullCell();
            else
                out.appendCell(view(r, c));
        }
    }
    *this = std::move(out);
}

void CellTable::clearTexts()
{
    std::fill(m_rowStart.data(), m_rowStart.data() + m_rowStart.size(), 0);
    std::fill(m_ends.data(), m_ends.data() + m_ends.size(), 0);
    m_pool.clear();
}

void CellTable::reserve(int rows, std::size_t poolUnits)
{
    m_rowStart.reserve(std::size_t(rows));
    m_ends.reserve(std::size_t(rows) * std::size_t(m_columns));
    m_pool.reserve(poolUnits);
}

std::size_t CellTable::memoryBytes() const
{
    return (m_rowStart.capacity() + m_ends.capacity()) * sizeof(std::uint32_t) +
           m_pool.capacity() * sizeof(char16_t);
}

} // namespace ct
