#pragma once
// A compact table of nullable text cells: one UTF-16 pool and one small record per cell.
// Record sets read into it and grids show it, so 100,000 rows cost a few allocations.

#include <QString>
#include <QStringView>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace ct {

namespace detail {
// Memory for large tables: blocks of 1 MB and more are mapped pages that grow by
// remapping (no copying) and use huge pages where the system offers them.
void* growBlock(void* p, std::size_t oldBytes, std::size_t newBytes, bool* mapped);
void freeBlock(void* p, std::size_t bytes, bool mapped);

// A growable array of trivially copyable values; grown space is not zero-filled unless asked.
template <typename T> class PodBuffer {
public:
    PodBuffer() = default;
    PodBuffer(const PodBuffer& o) { append(o.m_data, o.m_size); }
    PodBuffer(PodBuffer&& o) noexcept { swap(o); }
    PodBuffer& operator=(PodBuffer o) noexcept
    {
        swap(o);
        return *this;
    }
    ~PodBuffer() { freeBlock(m_data, m_cap * sizeof(T), m_mapped); }
    void swap(PodBuffer& o) noexcept
    {
        std::swap(m_data, o.m_data);
        std::swap(m_size, o.m_size);
        std::swap(m_cap, o.m_cap);
        std::swap(m_mapped, o.m_mapped);
    }
    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_cap; }
    T* data() { return m_data; }
    const T* data() const { return m_data; }
    T& operator[](std::size_t i) { return m_data[i]; }
    const T& operator[](std::size_t i) const { return m_data[i]; }
    T* begin() { return m_data; }
    T* end() { return m_data + m_size; }
    void reserve(std::size_t n)
    {
        if (n <= m_cap)
            return;
        m_data = static_cast<T*>(growBlock(m_data, m_cap * sizeof(T), n * sizeof(T), &m_mapped));
        m_cap = n;
    }
    void resizeUninit(std::size_t n)
    {
        if (n > m_cap)
            reserve(std::max(n, m_cap * 2 + 64));
        m_size = n;
    }
    void resize(std::size_t n) // new elements are value-initialised
    {
        const std::size_t old = m_size;
        resizeUninit(n);
        for (std::size_t i = old; i < n; ++i)
            m_data[i] = T{};
    }
    void push_back(const T& v)
    {
        resizeUninit(m_size + 1);
        m_data[m_size - 1] = v;
    }
    void append(const T* p, std::size_t n)
    {
        const std::size_t old = m_size;
        resizeUninit(old + n);
        if (n)
            std::memcpy(static_cast<void*>(m_data + old), p, n * sizeof(T));
    }
    void clear() { m_size = 0; }

private:
    T* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_cap = 0;
    bool m_mapped = false;
};
} // namespace detail

class CellTable {
public:
    CellTable() = default;
    explicit CellTable(int columns) : m_columns(columns) {}

    int columnCount() const { return m_columns; }
    int rowCount() const
    {
        return m_columns == 0 ? 0 : static_cast<int>(m_cells.size()) / m_columns;
    }

    // Appends one row of empty (non-null) cells and returns its index.
    int appendRow();
    // Sets a cell; a null cell reads back as empty text and isNull() true.
    void set(int row, int column, QStringView text);
    void setNull(int row, int column);
    void appendCell(QStringView text); // fills the row being built, left to right
    void appendCellUtf8(const char* utf8, std::size_t bytes); // the same, decoding UTF-8
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
    detail::PodBuffer<Cell> m_cells;
    detail::PodBuffer<char16_t> m_pool;
};

} // namespace ct
