#pragma once
// What the format readers and writers exchange: rows of a table in its column order, the
// line each row came from, remarks that do not stop the work, and faults that do.

#include "platform/celltable.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class QIODevice;

namespace exchange {

// A fault in the data read (line counted from 1): nothing of the file is to be used.
class DataError : public std::exception {
public:
    DataError(int line, QString message);
    int line() const { return m_line; }
    const QString& message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    int m_line;
    QString m_message;
    QByteArray m_utf8;
};

// Writing to the output failed (a full disk, a closed pipe).
class WriteError : public std::exception {
public:
    explicit WriteError(QString message);
    const QString& message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A remark about one record: a value put elsewhere, a row left out. `line` is the line
// of the file read (0 when it concerns a stored row, named in the text).
struct Note {
    int line = 0;
    QString text;
};

// Rows read from a file, in the columns of their table (the serial number column Null).
struct Records {
    ct::CellTable rows;
    std::vector<int> lines;    // the line each row begins on
    std::vector<QString> uids; // the UID each row carried (empty: none)
    std::vector<Note> notes;   // remarks that change nothing stored
    std::vector<Note> skipped; // records passed over: the line each begins on and why
    int recurringEvents = 0;   // recurring events read (iCalendar)
    int fromRecurring = 0;     // the rows that came from them
};

// The UID a writer gives the record of this serial number.
using UidOf = std::function<QString(QStringView serno)>;

// Adds the rows, lines and remarks of `more` after those of `out`.
void appendRecords(Records& out, const Records& more);

// The rows a writer writes, a table at a time: each call gives the next table, null after
// the last. A table being read on another thread comes this way in batches.
using RowBatches = std::function<const ct::CellTable*()>;
// One table as the only batch.
RowBatches onlyTable(const ct::CellTable& table);

// Receives the rows of a file while it is still being read, a batch at a time, in the
// order of the file. A reader that fails throws after the batches before the fault.
using Batches = std::function<void(Records&& batch)>;
inline constexpr int kBatchRows = 2048;

// Reads all batches into one Records.
Records collect(const std::function<void(const Batches&)>& read);

// Gathers the rows a reader appends into batches of kBatchRows, each handed on when it is
// full. finish() hands on the rest, an empty batch too: a reader hands on at least one.
class Batcher {
public:
    Batcher(int columns, Batches emit) : m_columns(columns), m_emit(std::move(emit)) { start(0); }
    // The table to append the row's cells to.
    ct::CellTable& rows() { return m_batch.rows; }
    // The row just appended begins on this line and carried this UID.
    void rowDone(int line, const QString& uid = {});
    // A record passed over.
    void skip(int line, QString why) { m_batch.skipped.push_back({line, std::move(why)}); }
    // A remark on the file, handed on with the rows read before it.
    void note(int line, QString text) { m_batch.notes.push_back({line, std::move(text)}); }
    void finish() { m_emit(std::move(m_batch)); }

private:
    void start(std::size_t poolUnits);
    int m_columns;
    Batches m_emit;
    Records m_batch;
};

// Batches handed from the thread that reads a file to the thread that stores them. The
// reader may run ahead; it learns through put() when the receiver wants no more.
class BatchPipe {
public:
    // Thrown into the reader by feeder() once the receiver has stopped.
    struct Stopped {};
    // Reader side. False when the receiver has stopped: the reader should give up.
    bool put(Records&& batch);
    // Batches that go into the pipe; throws Stopped when the receiver wants no more.
    Batches feeder();
    // No more batches; a fault is rethrown by take() once the batches before it are taken.
    void close(std::exception_ptr fault = {});

    // Receiver side. Waits for the next batch; nullopt after the last one.
    std::optional<Records> take();
    // The number of rows the reader read, once it has read all (nullopt before).
    std::optional<qint64> total();
    // The receiver wants no more: put() says so from now on.
    void stop();

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Records> m_batches;
    qint64 m_rows = 0;
    bool m_closed = false;
    bool m_stopped = false;
    std::exception_ptr m_fault;
};

// A thread that hands batches on through its pipe: `work` is given the pipe's feeder, and
// a fault it throws comes out of the pipe after the batches before it. Stopped and joined
// when it goes, unless joined before.
class BatchThread {
public:
    explicit BatchThread(std::function<void(const Batches& emit)> work);
    ~BatchThread();
    BatchThread(const BatchThread&) = delete;
    BatchThread& operator=(const BatchThread&) = delete;
    BatchPipe& pipe() { return m_pipe; }
    // Waits for the work to end (after its last batch was taken).
    void join();

private:
    BatchPipe m_pipe;
    std::thread m_thread;
};

// Called every kProgressStep records with the number done so far.
using Progress = std::function<void(qint64 done)>;
inline constexpr int kProgressStep = 1000;

// Output gathered in large pieces before it goes to the device.
class Sink {
public:
    explicit Sink(QIODevice& out) : m_out(out) {}
    QByteArray& buffer() { return m_buf; }
    void append(QByteArrayView bytes)
    {
        m_buf.append(bytes);
        flushWhenFull();
    }
    // For writers that append to buffer() themselves.
    void flushWhenFull()
    {
        if (m_buf.size() >= kChunk)
            flush();
    }
    // Hands what is gathered to the device; throws WriteError when it fails.
    void flush();

private:
    static constexpr qsizetype kChunk = 1 << 20;
    QIODevice& m_out;
    QByteArray m_buf;
};

} // namespace exchange
