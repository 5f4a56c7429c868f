#pragma once
// A compact table of nullable text cells. All texts lie in one UTF-16 pool, a row's
// cells one after another; per row the table keeps where the row starts, per cell where
// it ends within its row. 100,000 cards of 22 columns take a few allocations and about
// 4 bytes per cell beside their text.

#include <QString>
#include <QStringView>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>

namespace ct {

// A growable array of plain values for the cell table: room that is grown is not written
// until it is used, and a large array grows in place where it can (realloc moves the
// pages, not the values), so a table of 100,000 rows is filled without copying it again.
template <typename T> class Buffer {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    Buffer() = default;
    Buffer(const Buffer& o) { append(o.m_data, o.m_size); }
    Buffer(Buffer&& o) noexcept
        : m_data(std::exchange(o.m_data, nullptr)), m_size(std::exchange(o.m_size, 0)),
          m_capacity(std::exchange(o.m_capacity, 0))
    {
    }
    Buffer& operator=(Buffer o) noexcept
    {
        std::swap(m_data, o.m_data);
        std::swap(m_size, o.m_size);
        std::swap(m_capacity, o.m_capacity);
        return *this;
    }
    ~Buffer() { std::free(m_data); }

    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_capacity; }
    T* data() { return m_data; }
    const T* data() const { return m_data; }
    T& operator[](std::size_t i) { return m_data[i]; }
    const T& operator[](std::size_t i) const { return m_data[i]; }
    T& back() { return m_data[m_size - 1]; }

    void reserve(std::size_t n)
    {
        if (n <= m_capacity)
            return;
        T* p = static_cast<T*>(std::realloc(static_cast<void*>(m_data), n * sizeof(T)));
        if (!p)
            throw std::bad_alloc();
        m_data = p;
        m_capacity = n;
    }
    // Room for n more values at the end, at least doubling: where they start.
    T* room(std::size_t n)
    {
        if (m_capacity - m_size < n)
            reserve(std::max(m_size + n, m_capacity * 2));
        return m_data + m_size;
    }
    void push_back(T v)
    {
        *room(1) = v;
        ++m_size;
    }
    void append(const T* p, std::size_t n)
    {
        if (n == 0)
            return;
        std::memcpy(static_cast<void*>(room(n)), p, n * sizeof(T));
        m_size += n;
    }
    // The first n values are kept; new ones are as room() left them written, or `fill`.
    void resize(std::size_t n)
    {
        reserve(n);
        m_size = n;
    }
    void resize(std::size_t n, T fill)
    {
        const std::size_t old = m_size;
        resize(n);
        for (std::size_t i = old; i < n; ++i)
            m_data[i] = fill;
    }
    void clear() { m_size = 0; }

private:
    T* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

class CellTable {
public:
    CellTable() = default;
    explicit CellTable(int columns) : m_columns(columns) {}

    int columnCount() const { return m_columns; }
    int rowCount() const
    {
        return m_columns == 0 ? 0 : static_cast<int>(m_ends.size()) / m_columns;
    }

    // Appends one row of empty (non-null) cells and returns its index.
    int appendRow();
    // Sets a cell; a null cell reads back as empty text and isNull() true.
    void set(int row, int column, QStringView text);
    void setNull(int row, int column);
    // Fill the row being built, left to right.
    void appendCell(QStringView text);
    void appendNullCell();
    // The same, decoding UTF-8 as QStringDecoder does: a malformed sequence becomes
    // U+FFFD; a leading U+FEFF is text like any other.
    void appendCellUtf8(const char* utf8, std::size_t bytes);
    // Appends the rows of a table with as many columns, in one copy of its texts.
    void appendRows(const CellTable& other);

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
            if (isNull(r, column))
                continue;
            const Span s = span(r, column);
            for (std::uint32_t i = 0; i < s.length; ++i)
                m_pool[s.start + i] = f(m_pool[s.start + i]);
        }
    }
    // Room for this many rows and pool units before the table has to grow.
    void reserve(int rows, std::size_t poolUnits);
    std::size_t poolUnits() const { return m_pool.size(); } // UTF-16 units of all texts
    // Whether any cell holds this character (one pass over all texts).
    bool anyCellHas(QChar c) const
    {
        return QStringView(m_pool.data(), qsizetype(m_pool.size())).contains(c);
    }
    std::size_t memoryBytes() const;

private:
    static constexpr std::uint32_t kNullBit = 0x80000000u;
    struct Span {
        std::size_t start;
        std::uint32_t length;
    };
    Span span(int row, int column) const;
    std::uint32_t& end(int row, int column)
    {
        return m_ends[std::size_t(row) * std::size_t(m_columns) + std::size_t(column)];
    }
    std::uint32_t end(int row, int column) const
    {
        return m_ends[std::size_t(row) * std::size_t(m_columns) + std::size_t(column)];
    }
    // Starts a new row when the last one is complete.
    void beginCell();
    // Room for n more units at the pool's end, in a row that starts at rowStart; returns
    // where they start. The pool's size stays: the caller sets it once they are written.
    char16_t* room(std::size_t n, std::size_t rowStart);
    void closeCell(bool null);
    // Writes the row anew at the pool's end, with cell `column` replaced.
    void rewriteRow(int row, int column, std::optional<QStringView> text);

    int m_columns = 0;
    int m_filled = 0;                 // cells of the row being built
    Buffer<std::uint32_t> m_rowStart; // pool offset of each row's first unit
    Buffer<std::uint32_t> m_ends;     // end of each cell within its row; high bit: null
    Buffer<char16_t> m_pool;
};

} // namespace ct
