#include "platform/celltable.h"

#include "platform/utf8.h"

#include <QStringDecoder>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace ct {

CellTable::Span CellTable::span(int row, int column) const
{
    const std::uint32_t from = column == 0 ? 0 : end(row, column - 1) & ~kNullBit;
    const std::uint32_t to = end(row, column) & ~kNullBit;
    return Span{m_rowStart[std::size_t(row)] + std::size_t(from), to - from};
}

void CellTable::beginCell()
{
    if (m_filled == 0) {
        if (m_columns <= 0)
            throw std::logic_error("a cell table without columns");
        m_rowStart.push_back(static_cast<std::uint32_t>(m_pool.size()));
    }
}

std::size_t CellTable::grow(std::size_t n, std::size_t rowStart)
{
    const std::size_t start = m_pool.size();
    if (start + n >= 0xFFFFFFFFu || start + n - rowStart >= kNullBit)
        throw std::length_error("cell table full");
    m_pool.resize(start + n);
    return start;
}

void CellTable::closeCell(bool null)
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
    const std::size_t start = grow(std::size_t(text.size()), m_rowStart.back());
    std::copy(text.utf16(), text.utf16() + text.size(), m_pool.begin() + qsizetype(start));
    closeCell(false);
}

void CellTable::appendCellUtf8(const char* utf8, std::size_t bytes)
{
    beginCell();
    // UTF-16 needs at most one unit per UTF-8 byte.
    const std::size_t start = grow(bytes, m_rowStart.back());
    const auto* in = reinterpret_cast<const unsigned char*>(utf8);
    char16_t* const out = m_pool.data() + start;
    char16_t* end = utf8::decode(in, in + bytes, out);
    if (!end) {
        // Malformed: decoded as QStringDecoder does. Each cell is decoded on its own, so
        // a sequence cut at a cell's end is malformed there and not carried into the next.
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                         QStringDecoder::Flag::ConvertInitialBom);
        end = reinterpret_cast<char16_t*>(decoder.appendToBuffer(
            reinterpret_cast<QChar*>(out), QByteArrayView(utf8, qsizetype(bytes))));
    }
    m_pool.resize(start + std::size_t(end - out));
    closeCell(false);
}

void CellTable::appendNullCell()
{
    beginCell();
    closeCell(true);
}

void CellTable::appendRows(const CellTable& other)
{
    if (other.m_columns != m_columns || m_filled != 0 || other.m_filled != 0)
        throw std::logic_error("rows of another table shape, or a row half built");
    const std::size_t base = m_pool.size();
    if (base + other.m_pool.size() >= 0xFFFFFFFFu)
        throw std::length_error("cell table full");
    m_pool.insert(m_pool.end(), other.m_pool.begin(), other.m_pool.end());
    m_rowStart.reserve(m_rowStart.size() + other.m_rowStart.size());
    for (const std::uint32_t start : other.m_rowStart)
        m_rowStart.push_back(static_cast<std::uint32_t>(base + start));
    m_ends.insert(m_ends.end(), other.m_ends.begin(), other.m_ends.end()); // within their rows
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
        std::copy(text->utf16(), text->utf16() + text->size(),
                  m_pool.begin() + qsizetype(self.start));
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
    const std::size_t at = grow(copy.size(), m_pool.size());
    m_rowStart[std::size_t(row)] = static_cast<std::uint32_t>(at);
    std::copy(copy.begin(), copy.end(), m_pool.begin() + qsizetype(at));
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
        m_rowStart.pop_back();
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
    std::fill(m_rowStart.begin(), m_rowStart.end(), 0);
    std::fill(m_ends.begin(), m_ends.end(), 0);
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

// ---- Utf8Filler -------------------------------------------------------------------------

namespace ct {

namespace {
constexpr std::size_t kChunkBytes = std::size_t(256) << 10;
constexpr std::size_t kChunksWaiting = 8; // the caller waits when the decoder lags this far
} // namespace

struct Utf8Filler::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Chunk> queue;
    bool done = false; // no more chunks will come
    bool stop = false; // the filler is abandoned
    std::exception_ptr failure;
    std::thread thread;
};

Utf8Filler::Utf8Filler(CellTable& table) : m_table(table) {}

Utf8Filler::~Utf8Filler()
{
    if (!m_shared)
        return;
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->stop = true;
    }
    m_shared->changed.notify_all();
    m_shared->thread.join();
}

void Utf8Filler::text(const char* utf8, std::size_t bytes)
{
    if (m_chunk.bytes.capacity() == 0) { // a chunk's room at once, not grown cell by cell
        m_chunk.bytes.reserve(kChunkBytes + kChunkBytes / 4);
        m_chunk.sizes.reserve(kChunkBytes / 8);
    }
    m_chunk.bytes.insert(m_chunk.bytes.end(), utf8, utf8 + bytes);
    m_chunk.sizes.push_back(std::int64_t(bytes));
    if (m_chunk.bytes.size() >= kChunkBytes)
        hand(std::exchange(m_chunk, {}));
}

void Utf8Filler::null()
{
    m_chunk.sizes.push_back(-1);
}

void Utf8Filler::decode(const Chunk& chunk)
{
    const char* p = chunk.bytes.data();
    for (const std::int64_t n : chunk.sizes) {
        if (n < 0) {
            m_table.appendNullCell();
        } else {
            m_table.appendCellUtf8(p, std::size_t(n));
            p += n;
        }
    }
}

void Utf8Filler::work()
{
    for (;;) {
        Chunk chunk;
        {
            std::unique_lock lock(m_shared->mutex);
            m_shared->changed.wait(lock, [this] {
                return m_shared->stop || m_shared->done || !m_shared->queue.empty();
            });
            if (m_shared->stop || m_shared->queue.empty())
                return;
            chunk = std::move(m_shared->queue.front());
            m_shared->queue.pop_front();
        }
        m_shared->changed.notify_all();
        try {
            decode(chunk);
        } catch (...) {
            const std::lock_guard lock(m_shared->mutex);
            m_shared->failure = std::current_exception();
            m_shared->stop = true;
            m_shared->changed.notify_all();
            return;
        }
    }
}

void Utf8Filler::hand(Chunk&& chunk)
{
    if (!m_shared) {
        m_shared = std::make_unique<Shared>();
        m_shared->thread = std::thread([this] { work(); });
    }
    std::unique_lock lock(m_shared->mutex);
    m_shared->changed.wait(
        lock, [this] { return m_shared->stop || m_shared->queue.size() < kChunksWaiting; });
    if (m_shared->stop)
        return; // the decoder failed; finish() reports it
    m_shared->queue.push_back(std::move(chunk));
    lock.unlock();
    m_shared->changed.notify_all();
}

void Utf8Filler::finish()
{
    if (m_shared) {
        {
            const std::lock_guard lock(m_shared->mutex);
            m_shared->done = true;
        }
        m_shared->changed.notify_all();
        m_shared->thread.join();
        const std::exception_ptr failure = m_shared->failure;
        m_shared.reset();
        if (failure)
            std::rethrow_exception(failure);
    }
    decode(std::exchange(m_chunk, {}));
}

} // namespace ct
