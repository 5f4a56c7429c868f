#include "exchange/records.h"

#include "platform/safefiles.h"

#include <QIODevice>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace exchange {

DataError::DataError(int line, QString message)
    : m_line(line), m_message(std::move(message)), m_utf8(m_message.toUtf8())
{
}

WriteError::WriteError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8())
{
}

void Sink::flush()
{
    qsizetype done = 0;
    while (done < m_buf.size()) {
        const qint64 n = m_out.write(m_buf.constData() + done, m_buf.size() - done);
        if (n <= 0)
            throw WriteError(u"写入失败：%1"_s.arg(safefiles::systemError(errno)));
        done += qsizetype(n);
    }
    m_buf.resize(0); // keeps its room for the next piece
}

void appendRecords(Records& out, const Records& more)
{
    out.rows.appendRows(more.rows);
    out.lines.insert(out.lines.end(), more.lines.begin(), more.lines.end());
    out.uids.insert(out.uids.end(), more.uids.begin(), more.uids.end());
    out.notes.insert(out.notes.end(), more.notes.begin(), more.notes.end());
    out.skipped.insert(out.skipped.end(), more.skipped.begin(), more.skipped.end());
    out.recurringEvents += more.recurringEvents;
    out.fromRecurring += more.fromRecurring;
}

RowBatches onlyTable(const ct::CellTable& table)
{
    return [&table, given = false]() mutable -> const ct::CellTable* {
        if (given)
            return nullptr;
        given = true;
        return &table;
    };
}

Records collect(const std::function<void(const Batches&)>& read)
{
    Records all;
    read([&all](Records&& batch) {
        if (all.rows.columnCount() == 0)
            all = std::move(batch);
        else
            appendRecords(all, batch);
    });
    return all;
}

void Batcher::rowDone(int line, const QString& uid)
{
    m_batch.lines.push_back(line);
    m_batch.uids.push_back(uid);
    if (m_batch.rows.rowCount() < kBatchRows)
        return;
    const std::size_t units = m_batch.rows.poolUnits();
    m_emit(std::move(m_batch));
    start(units + units / 8); // the next batch's texts take about as much room
}

void Batcher::start(std::size_t poolUnits)
{
    m_batch = Records{};
    m_batch.rows = ct::CellTable(m_columns);
    m_batch.rows.reserve(kBatchRows, poolUnits);
}

bool BatchPipe::put(Records&& batch)
{
    const std::scoped_lock lock(m_mutex);
    if (m_stopped)
        return false;
    m_rows += batch.rows.rowCount();
    m_batches.push_back(std::move(batch));
    m_ready.notify_one();
    return true;
}

Batches BatchPipe::feeder()
{
    return [this](Records&& batch) {
        if (!put(std::move(batch)))
            throw Stopped{};
    };
}

void BatchPipe::close(std::exception_ptr fault)
{
    const std::scoped_lock lock(m_mutex);
    m_closed = true;
    m_fault = std::move(fault);
    m_ready.notify_one();
}

std::optional<Records> BatchPipe::take()
{
    std::unique_lock lock(m_mutex);
    m_ready.wait(lock, [this] { return !m_batches.empty() || m_closed; });
    if (!m_batches.empty()) {
        Records batch = std::move(m_batches.front());
        m_batches.pop_front();
        return batch;
    }
    if (m_fault)
        std::rethrow_exception(m_fault);
    return std::nullopt;
}

std::optional<qint64> BatchPipe::total()
{
    const std::scoped_lock lock(m_mutex);
    return m_closed && !m_fault ? std::optional(m_rows) : std::nullopt;
}

void BatchPipe::stop()
{
    const std::scoped_lock lock(m_mutex);
    m_stopped = true;
    m_batches.clear();
}

BatchThread::BatchThread(std::function<void(const Batches&)> work)
    : m_thread([this, work = std::move(work)] {
          std::exception_ptr fault;
          try {
              work(m_pipe.feeder());
          } catch (const BatchPipe::Stopped&) { // the receiver wants no more
          } catch (...) {
              fault = std::current_exception();
          }
          m_pipe.close(fault);
      })
{
}

BatchThread::~BatchThread()
{
    m_pipe.stop();
    join();
}

void BatchThread::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace exchange
