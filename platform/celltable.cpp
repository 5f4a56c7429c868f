#include "platform/celltable.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace ct {

void* detail::growBlock(void* p, std::size_t oldBytes, std::size_t newBytes, bool* mapped)
{
    constexpr std::size_t kMapped = std::size_t(1) << 20;
    constexpr std::size_t kHuge = std::size_t(2) << 20;
    if (newBytes < kMapped && !*mapped) {
        void* q = std::realloc(p, newBytes);
        if (!q)
            throw std::bad_alloc();
        return q;
    }
    newBytes = (newBytes + kHuge - 1) & ~(kHuge - 1);
    void* q;
    if (*mapped) {
        q = ::mremap(p, (oldBytes + kHuge - 1) & ~(kHuge - 1), newBytes, MREMAP_MAYMOVE);
    } else {
        q = ::mmap(nullptr, newBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (q != MAP_FAILED && oldBytes) {
            std::memcpy(q, p, oldBytes);
            std::free(p);
        }
    }
    if (q == MAP_FAILED)
        throw std::bad_alloc();
    *mapped = true;
#ifdef MADV_HUGEPAGE
    const auto b = (reinterpret_cast<std::uintptr_t>(q) + kHuge - 1) & ~(kHuge - 1);
    const auto e = (reinterpret_cast<std::uintptr_t>(q) + newBytes) & ~(kHuge - 1);
    if (e > b)
        ::madvise(reinterpret_cast<void*>(b), e - b, MADV_HUGEPAGE);
#endif
    return q;
}

void detail::freeBlock(void* p, std::size_t bytes, bool mapped)
{
    if (!p)
        return;
    if (mapped)
        ::munmap(p, (bytes + (std::size_t(2) << 20) - 1) & ~((std::size_t(2) << 20) - 1));
    else
        std::free(p);
}

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
    m_pool.append(text.utf16(), std::size_t(text.size()));
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

void CellTable::appendCellUtf8(const char* utf8, std::size_t bytes)
{
    // Decodes straight into the pool: no string per cell. UTF-16 needs at most one unit
    // per UTF-8 byte; a malformed sequence becomes U+FFFD.
    const std::size_t start = m_pool.size();
    if (start + bytes >= kNullBit)
        throw std::length_error("cell table full");
    m_pool.resizeUninit(start + bytes);
    char16_t* out = m_pool.data() + start;
    char16_t* d = out;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8);
    const unsigned char* const e = p + bytes;
    while (p < e) {
        // Runs of ASCII, eight bytes at a time.
        while (e - p >= 8) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            if (w & 0x8080808080808080ull)
                break;
            for (int i = 0; i < 8; ++i)
                d[i] = p[i];
            d += 8;
            p += 8;
        }
        if (p >= e)
            break;
        const unsigned b = *p;
        const std::ptrdiff_t left = e - p;
        if (b < 0x80) {
            *d++ = char16_t(b);
            p += 1;
        } else if ((b & 0xF0) == 0xE0 && left >= 3 && (p[1] & 0xC0) == 0x80 &&
                   (p[2] & 0xC0) == 0x80) {
            const unsigned u = ((b & 0x0F) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
            *d++ = u < 0x800 ? char16_t(0xFFFD) : char16_t(u);
            p += 3;
        } else if (b >= 0xC2 && b < 0xE0 && left >= 2 && (p[1] & 0xC0) == 0x80) {
            *d++ = char16_t(((b & 0x1F) << 6) | (p[1] & 0x3Fu));
            p += 2;
        } else if (b >= 0xF0 && b < 0xF5 && left >= 4 && (p[1] & 0xC0) == 0x80 &&
                   (p[2] & 0xC0) == 0x80 && (p[3] & 0xC0) == 0x80) {
            const unsigned u = ((b & 0x07) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) |
                               (p[3] & 0x3Fu);
            if (u < 0x10000 || u > 0x10FFFF) {
                *d++ = 0xFFFD;
            } else {
                *d++ = char16_t(0xD800 + ((u - 0x10000) >> 10));
                *d++ = char16_t(0xDC00 + ((u - 0x10000) & 0x3FF));
            }
            p += 4;
        } else {
            *d++ = 0xFFFD;
            p += 1;
        }
    }
    const auto length = static_cast<std::uint32_t>(d - out);
    m_pool.resizeUninit(start + length);
    m_cells.push_back(Cell{static_cast<std::uint32_t>(start), length});
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
    detail::PodBuffer<Cell> cells;
    cells.resize(std::size_t(rows) * columns);
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
