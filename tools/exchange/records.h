#pragma once
// What the format readers and writers exchange: rows of a table in its column order, the
// line each row came from, remarks that do not stop the work, and faults that do.

#include "platform/celltable.h"

#include <QByteArray>
#include <QString>

#include <exception>
#include <functional>
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
    std::vector<int> lines; // the line each row begins on
    std::vector<Note> notes;
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
