#pragma once
// A compact table of nullable text cells. All texts lie in one UTF-16 pool, a row's
// cells one after another; per row the table keeps where the row starts, per cell where
// it ends within its row. 100,000 cards of 22 columns take a few allocations and about
// 4 bytes per cell beside their text.

#include <QString>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace ct {

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
    // The same, decoding UTF-8 as QStringDecoder does: a malformed sequence becomes
    // U+FFFD; a leading U+FEFF is text like any other.
    void appendCellUtf8(const char* utf8, std::size_t bytes);
    void appendNullCell();
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
    // where they start.
    std::size_t grow(std::size_t n, std::size_t rowStart);
    void closeCell(bool null);
    // Writes the row anew at the pool's end, with cell `column` replaced.
    void rewriteRow(int row, int column, std::optional<QStringView> text);

    // Grown space is written by the decoder before it is read: no zero fill first.
    template <typename T> struct NoFill : std::allocator<T> {
        template <typename U> struct rebind {
            using other = NoFill<U>;
        };
        template <typename U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
        template <typename U, typename... A> void construct(U* p, A&&... a)
        {
            ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
        }
    };

    int m_columns = 0;
    int m_filled = 0;                      // cells of the row being built
    std::vector<std::uint32_t> m_rowStart; // pool offset of each row's first unit
    std::vector<std::uint32_t> m_ends;     // end of each cell within its row; high bit: null
    std::vector<char16_t, NoFill<char16_t>> m_pool;
};

} // namespace ct

namespace ct {

// Fills a cell table from UTF-8 texts, left to right, row after row, decoding on another
// thread once the texts pass a chunk's size: the caller (stepping through a statement)
// and the decoding run side by side. Small fills decode on the caller's thread at
// finish(). The table must not be touched until finish() has returned.
class Utf8Filler {
public:
    explicit Utf8Filler(CellTable& table);
    ~Utf8Filler(); // stops the other thread; what was not finished is left out
    Utf8Filler(const Utf8Filler&) = delete;
    Utf8Filler& operator=(const Utf8Filler&) = delete;

    void text(const char* utf8, std::size_t bytes);
    void null();
    // Waits until every cell is in the table; rethrows a failure of the decoding.
    void finish();

private:
    struct Chunk {
        std::vector<char> bytes;
        std::vector<std::int64_t> sizes; // -1: a null cell
    };
    void hand(Chunk&& chunk);
    void decode(const Chunk& chunk);
    void work();

    struct Shared;
    CellTable& m_table;
    Chunk m_chunk;
    std::unique_ptr<Shared> m_shared; // set once the other thread runs
};

} // namespace ct
