#pragma once
// Connection and Recordset in the manner of ADO, over SQLCipher.
// Statements take bound parameters only; failures throw adodb::Error.

#include "platform/celltable.h"

#include <QHash>
#include <QString>
#include <QStringEncoder>
#include <QStringView>
#include <QVariant>
#include <QVariantList>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>

struct sqlite3;
struct sqlite3_stmt;

namespace adodb {

// Error numbers: the engine's extended result code where the engine failed, otherwise
// one of the layer's own numbers below.
enum ErrorNumber : int {
    ErrBadConnectionText = 3706,
    ErrFileMissing = 3024,
    ErrNotEncrypted = 3343,
    ErrNoCipher = 3704,
    ErrClosed = 3709,
    ErrNoCurrentRow = 3021,
    ErrNoField = 3265,
    ErrUnstorableText = 3421, // a text that cannot be stored as it is (a lone surrogate)
    ErrDamaged = 3049,        // a file that is damaged or not one of the program's databases
    ErrExists = 3204,         // a file that would be replaced
    ErrInUse = 3356,          // a file another running program holds
};

// What an engine failure (its result code) means for the user and what to do, in
// Chinese. Descriptions of engine failures are this text with the engine's own after it
// in brackets.
QString explain(int code);

class Error : public std::exception {
public:
    Error(int number, QString description, QString detail = {});
    int number() const { return m_number; }
    const QString& description() const { return m_description; }
    // The engine's or the system's own words on the failure, when it came from there (the
    // description holds them too, in brackets).
    const QString& detail() const { return m_detail; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    int m_number;
    QString m_description;
    QString m_detail;
    QByteArray m_utf8;
};

struct ConnectionText {
    QString provider;
    QString dataSource;
    QString password;
    static ConnectionText parse(const QString& text); // throws Error on a malformed text
};

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens an existing file read-write with the text's password and proves the key.
    // Never creates, changes or truncates the file when it fails.
    void Open(const QString& connectionText);
    bool isOpen() const { return m_db != nullptr; }
    QString fileName() const { return m_file; }

    // Runs one statement without rows; returns the number of rows it changed.
    int Execute(const QString& sql, const QVariantList& params = {});
    qint64 lastInsertId() const;

    // Creates a new encrypted database file (for ctdb init and tests), 0600 whatever the
    // umask. The file must not exist.
    static void create(const QString& file, const QString& password, const QStringList& schema);
    // Writes a consistent copy of the open database to a new file (same key, 0600); the
    // file must not exist. Safe while other connections write. The copy is written under
    // a temporary name beside the file and given its name only when complete and when
    // `beforePlacing` (called with the temporary name, the copy closed) returns; a failure
    // it throws leaves no file behind.
    using Check = std::function<void(const QString& written)>;
    void backupTo(const QString& file, const QString& password,
                  const Check& beforePlacing = {}) const;
    // The columns of every table the statements make, in order, as the engine makes them
    // (on a plain database in memory): the layout a file made by them has.
    static QHash<QString, QStringList> columnsOf(const QStringList& schema);
    // The tables of this database and their columns, in order.
    QHash<QString, QStringList> tableColumns();
    // How long an open or a statement waits for another process's lock (milliseconds):
    // for connections opened from now on, and for this connection alone.
    static void setBusyTimeout(int ms);
    static int busyTimeout();
    void setBusyWait(int ms);
    // Ends the statement that runs on this connection with an error; callable from any
    // thread.
    void interrupt() const;

    sqlite3* handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
    QString m_file;
};

// A transaction that takes the write lock at once: committed by commit(), rolled back
// when it ends otherwise (a failure thrown past it), so nothing half done is ever kept.
class Transaction {
public:
    explicit Transaction(Connection& conn);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Connection& m_conn;
    bool m_open = true;
};

// A statement prepared once and run many times with new parameters (imports).
class Command {
public:
    Command(Connection& conn, const QString& sql);
    ~Command();
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;
    // Runs the statement with these parameters; returns the number of rows it changed.
    int Execute(const QVariantList& params);
    // The same with every parameter a text (a view, not copied) or Null (no value).
    int Execute(std::span<const std::optional<QStringView>> texts);

private:
    int step();
    sqlite3* m_db;
    sqlite3_stmt* m_stmt;
    QByteArray m_utf8;
    QStringEncoder m_encoder{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
};

class Recordset;

// One column of the current row.
class Field {
public:
    Field(const Recordset* rs, int column) : m_rs(rs), m_column(column) {}
    bool isNull() const;
    QString text() const; // throws Error (94, "Invalid use of Null") for a Null value
    QStringView view() const;
    QVariant Value() const; // null QVariant for Null, else the text
    int toInt(bool* ok) const;
    QString Name() const;

private:
    const Recordset* m_rs;
    int m_column;
};

// The rows of a statement read a batch at a time, for whole tables worked on while the rest
// is read (exports). Used by one thread at a time, like its connection.
class BatchReader {
public:
    BatchReader(Connection& conn, const QString& sql);
    ~BatchReader();
    BatchReader(const BatchReader&) = delete;
    BatchReader& operator=(const BatchReader&) = delete;
    // Up to `rows` more rows; an empty table once all are read.
    ct::CellTable next(int rows);

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt;
    int m_columns;
    bool m_done = false;
};

// A snapshot of the rows a statement returned, read when opened (as a keyset cursor gives).
class Recordset {
public:
    Recordset() = default;
    void Open(const QString& sql, Connection& conn, const QVariantList& params = {});
    void Close();
    bool isOpen() const { return m_open; }

    bool eof() const;
    bool bof() const;
    void MoveFirst();
    void MoveNext();
    int recordCount() const { return m_rows.rowCount(); }
    int fieldCount() const { return m_rows.columnCount(); }
    int position() const { return m_pos; }

    Field Fields(int column) const;
    Field Fields(const QString& name) const;
    int columnIndex(const QString& name) const; // -1 when absent

    // Hands the rows over, leaving the record set empty (for grids that show them).
    ct::CellTable takeRows();
    const ct::CellTable& rows() const { return m_rows; }

private:
    friend class Field;
    void requireOpen() const;
    void requireRow() const;
    QStringList m_names;
    ct::CellTable m_rows;
    int m_pos = 0;
    bool m_open = false;
};

} // namespace adodb
