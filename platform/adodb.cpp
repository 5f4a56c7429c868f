#include "platform/adodb.h"

#include "platform/safefiles.h"

#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace adodb {

namespace {

int g_busyTimeoutMs = 3000;
constexpr int kCipherPageSize = 4096;

QString engineMessage(sqlite3* db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// The failure of the engine as the user reads it: what happened and what to do, in
// Chinese, with the engine's own text after it.
Error engineError(int code, const QString& engineText)
{
    return Error(code, explain(code) + u"（"_s + engineText + u"）"_s, engineText);
}

Error engineError(sqlite3* db)
{
    return engineError(sqlite3_extended_errcode(db), engineMessage(db));
}

// The position of the first UTF-16 unit that is half of a surrogate pair without its
// other half, or -1.
qsizetype loneSurrogate(QStringView t)
{
    for (qsizetype i = 0; i < t.size(); ++i) {
        const char16_t u = t[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < t.size() &&
            QChar::isLowSurrogate(t[i + 1].unicode())) {
            ++i;
            continue;
        }
        if (QChar::isSurrogate(u))
            return i;
    }
    return -1;
}

// Statement with automatic finalisation.
struct Stmt {
    sqlite3_stmt* s = nullptr;
    ~Stmt() { sqlite3_finalize(s); }
};

sqlite3_stmt* prepareOnly(sqlite3* db, const QString& sql)
{
    if (!db)
        throw Error(ErrClosed, u"数据库连接没有打开，无法执行操作。"_s);
    const QByteArray utf8 = sql.toUtf8();
    const char* tail = nullptr;
    sqlite3_stmt* st = nullptr;
    const int rc = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &st, &tail);
    if (rc != SQLITE_OK)
        throw engineError(db);
    if (!st)
        throw Error(SQLITE_MISUSE, u"语句为空。"_s);
    if (tail && QByteArray(tail).trimmed().size() > 0) {
        sqlite3_finalize(st);
        throw Error(SQLITE_MISUSE, u"一次只能执行一条语句。"_s);
    }
    return st;
}

// A text with a lone surrogate cannot be stored as it is: refused, nothing written.
void refuseLoneSurrogate(QStringView t)
{
    const qsizetype bad = loneSurrogate(t);
    if (bad < 0)
        return;
    const QString unit = QString::number(t[bad].unicode(), 16).toUpper().rightJustified(4, u'0');
    throw Error(ErrUnstorableText,
                u"文本中第 %1 个字符（U+%2）是不成对的代理码元，无法按原样保存，"
                "什么也没有写入。请删去这个字符后再试。"_s.arg(t.left(bad).toUcs4().size() + 1)
                    .arg(unit));
}

void bind(sqlite3* db, sqlite3_stmt* st, const QVariantList& params)
{
    if (sqlite3_bind_parameter_count(st) != params.size())
        throw Error(SQLITE_RANGE, u"语句的参数个数不符。"_s);
    for (int i = 0; i < params.size(); ++i) {
        const QVariant& v = params[i];
        const int idx = i + 1;
        int rc;
        if (v.isNull()) {
            rc = sqlite3_bind_null(st, idx);
        } else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong ||
                   v.typeId() == QMetaType::UInt) {
            rc = sqlite3_bind_int64(st, idx, v.toLongLong());
        } else {
            // UTF-8, never UTF-16: the engine takes a leading U+FEFF or U+FFFE of UTF-16
            // data for a byte-order mark and would change the text.
            const QString t = v.toString();
            refuseLoneSurrogate(t);
            const QByteArray utf8 = t.toUtf8();
            rc = sqlite3_bind_text(st, idx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        }
        if (rc != SQLITE_OK)
            throw engineError(db);
    }
}

void prepare(sqlite3* db, const QString& sql, const QVariantList& params, Stmt& st)
{
    st.s = prepareOnly(db, sql);
    bind(db, st.s, params);
}

bool hasPlainHeader(const QString& file, qint64* size)
{
    QFile f(file);
    *size = QFileInfo(file).size();
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return f.read(16) == QByteArray("SQLite format 3\0", 16);
}

} // namespace

QString explain(int code)
{
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return u"数据库文件正被另一个程序锁定，请稍后再试"_s;
    case SQLITE_FULL:
        return u"磁盘已满，操作没有完成。请腾出磁盘空间后再试"_s;
    case SQLITE_READONLY:
        return u"数据库文件只能读取，操作没有完成。请检查数据库文件和它所在目录的写入权限"_s;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return u"数据库文件已经损坏，操作没有完成。请用 ctdb restore 从 backups 目录里的备份恢复"_s;
    case SQLITE_IOERR:
        return u"读写数据库文件时出错，操作没有完成。请检查磁盘后再试"_s;
    case SQLITE_CANTOPEN:
        return u"无法打开数据库文件或它的日志文件，操作没有完成。请检查数据库所在目录的写入权限"_s;
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return u"没有访问数据库文件的权限，操作没有完成"_s;
    case SQLITE_CONSTRAINT:
        return u"数据不符合数据表的约束，没有保存"_s;
    case SQLITE_TOOBIG:
        return u"内容太长，没有保存"_s;
    case SQLITE_NOMEM:
        return u"内存不足，操作没有完成。请关闭其他程序后再试"_s;
    default:
        return u"数据库操作失败"_s;
    }
}

Error::Error(int number, QString description, QString detail)
    : m_number(number), m_description(std::move(description)), m_detail(std::move(detail)),
      m_utf8(m_description.toUtf8())
{
}

ConnectionText ConnectionText::parse(const QString& text)
{
    // Pairs are separated by ';'. A piece that does not start with a known key belongs to
    // the value before it, so a data source may itself contain ';'.
    static const QStringList keys = {u"provider"_s,    u"persist security info"_s,
                                     u"data source"_s, u"jet oledb:database password"_s,
                                     u"user id"_s,     u"password"_s};
    ConnectionText out;
    QString key;
    QString value;
    auto flush = [&] {
        if (key == u"provider")
            out.provider = value.trimmed();
        else if (key == u"data source")
            out.dataSource = value;
        else if (key == u"jet oledb:database password")
            out.password = value.trimmed();
    };
    const QStringList pieces = text.split(u';');
    for (const QString& piece : pieces) {
        const qsizetype eq = piece.indexOf(u'=');
        const QString k = eq < 0 ? QString() : piece.left(eq).trimmed().toLower();
        if (eq >= 0 && keys.contains(k)) {
            flush();
            key = k;
            value = piece.mid(eq + 1);
        } else if (!key.isEmpty() && !piece.isEmpty()) {
            value += u';' + piece;
        } else if (!piece.trimmed().isEmpty()) {
            throw Error(ErrBadConnectionText, u"连接字符串无法识别：“%1”。"_s.arg(piece));
        }
    }
    flush();
    if (out.dataSource.isEmpty())
        throw Error(ErrBadConnectionText, u"连接字符串中没有数据源（Data Source）。"_s);
    return out;
}

Connection::Connection()
{
    // Before the engine starts: no allocation statistics, so no global lock per allocation.
    static const bool configured = [] {
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        return true;
    }();
    (void)configured;
}

Connection::~Connection()
{
    if (m_db)
        sqlite3_close_v2(m_db);
}

void Connection::setBusyTimeout(int ms)
{
    g_busyTimeoutMs = ms;
}

int Connection::busyTimeout()
{
    return g_busyTimeoutMs;
}

void Connection::setBusyWait(int ms)
{
    if (m_db)
        sqlite3_busy_timeout(m_db, ms);
}

void Connection::interrupt() const
{
    if (m_db)
        sqlite3_interrupt(m_db);
}

Transaction::Transaction(Connection& conn) : m_conn(conn)
{
    m_conn.Execute(u"BEGIN IMMEDIATE"_s);
}

Transaction::~Transaction()
{
    if (!m_open)
        return;
    try {
        m_conn.Execute(u"ROLLBACK"_s);
    } catch (const Error&) {
        // The engine has rolled back already (it does so on some I/O errors).
    }
}

void Transaction::commit()
{
    m_conn.Execute(u"COMMIT"_s);
    m_open = false;
}

void Connection::Open(const QString& connectionText)
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    const ConnectionText ct = ConnectionText::parse(connectionText);
    m_file = ct.dataSource;
    const QString shown = QDir::toNativeSeparators(m_file);
    const QFileInfo fi(m_file);
    if (!fi.exists())
        throw Error(ErrFileMissing, u"找不到数据库文件“%1”。还没有数据库时，可以运行“ctdb init”"
                                    "在程序所在的目录里创建一个空数据库。"_s.arg(shown));
    if (!fi.isFile())
        throw Error(SQLITE_NOTADB, u"“%1”不是数据库文件，而是一个目录或设备。"_s.arg(shown));
    const QByteArray native = QFile::encodeName(m_file);
    if (::access(native.constData(), R_OK | W_OK) != 0) {
        throw Error(SQLITE_PERM, u"没有读写数据库文件“%1”的权限（%2）。"_s.arg(
                                     shown, QString::fromLocal8Bit(std::strerror(errno))));
    }
    // The rollback journal is made beside the file: a directory that cannot be written
    // would let every save fail.
    const QString dir = fi.absolutePath();
    if (::access(QFile::encodeName(dir).constData(), W_OK | X_OK) != 0) {
        throw Error(SQLITE_READONLY, u"数据库文件所在的目录“%1”不能写入，程序无法保存任何数据。"
                                     "请检查这个目录的权限（%2）。"_s.arg(
                                         QDir::toNativeSeparators(dir),
                                         QString::fromLocal8Bit(std::strerror(errno))));
    }
    qint64 size = 0;
    if (hasPlainHeader(m_file, &size))
        throw Error(ErrNotEncrypted,
                    u"“%1”是未加密的 SQLite 文件，不是本程序带密码的数据库。"_s.arg(shown));
    if (size == 0)
        throw Error(SQLITE_NOTADB, u"数据库文件“%1”是空文件（0 字节），不是数据库。"_s.arg(shown));

    sqlite3* db = nullptr;
    // One thread uses a connection: no per-call locking.
    int rc = sqlite3_open_v2(native.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    auto drop = [&db] {
        sqlite3_close_v2(db);
        db = nullptr;
    };
    if (rc != SQLITE_OK) {
        const QString msg = db ? engineMessage(db) : QString::fromUtf8(sqlite3_errstr(rc));
        drop();
        throw Error(rc, u"无法打开数据库文件“%1”。%2（%3）。"_s.arg(shown, explain(rc), msg), msg);
    }
    if (sqlite3_db_readonly(db, "main") == 1) {
        drop();
        throw Error(SQLITE_READONLY,
                    u"数据库文件“%1”只能读取，不能写入，请检查文件权限。"_s.arg(shown));
    }
    sqlite3_busy_timeout(db, g_busyTimeoutMs);
    const QByteArray key = ct.password.toUtf8();
    sqlite3_key(db, key.constData(), int(key.size()));

    auto scalar = [&db](const char* sql, QString* out) {
        sqlite3_stmt* st = nullptr;
        int r = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        if (r == SQLITE_OK) {
            r = sqlite3_step(st);
            if (r == SQLITE_ROW) {
                if (out)
                    *out = QString::fromUtf8(
                        reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
                r = SQLITE_OK;
            } else if (r == SQLITE_DONE) {
                r = SQLITE_OK;
            }
        }
        sqlite3_finalize(st);
        return r == SQLITE_OK ? SQLITE_OK : sqlite3_extended_errcode(db);
    };

    QString cipher;
    if (scalar("PRAGMA cipher_version", &cipher) != SQLITE_OK || cipher.isEmpty()) {
        drop();
        throw Error(ErrNoCipher,
                    u"数据库引擎不支持加密（缺少 SQLCipher），拒绝打开“%1”。"_s.arg(shown));
    }
    scalar("PRAGMA cipher_page_size = 4096", nullptr);
    static_assert(kCipherPageSize == 4096);
    rc = scalar("SELECT count(*) FROM sqlite_master", nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = engineMessage(db);
        drop();
        if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
            throw Error(
                rc, u"数据库文件“%1”正被另一个程序锁定，请稍后再试（%2）。"_s.arg(shown, msg), msg);
        if ((rc & 0xff) == SQLITE_NOTADB)
            throw Error(rc,
                        u"数据库密码不正确，或“%1”不是本程序的数据库文件（%2）。"_s.arg(shown, msg),
                        msg);
        throw Error(
            rc,
            u"无法读取数据库文件“%1”，它可能已经损坏。请用 ctdb restore 从备份恢复（%2）。"_s.arg(
                shown, msg),
            msg);
    }
    // Rollback journal, full sync: every acknowledged write survives a crash or a kill.
    rc = scalar("PRAGMA journal_mode=DELETE", nullptr);
    if (rc == SQLITE_OK)
        rc = scalar("PRAGMA synchronous=FULL", nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = engineMessage(db);
        drop();
        throw Error(rc, u"无法使用数据库文件“%1”。%2（%3）。"_s.arg(shown, explain(rc), msg), msg);
    }
    m_db = db;
}

int Connection::Execute(const QString& sql, const QVariantList& params)
{
    Stmt st;
    prepare(m_db, sql, params, st);
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        throw engineError(m_db);
    return sqlite3_changes(m_db);
}

qint64 Connection::lastInsertId() const
{
    return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

namespace {

// Writes a new encrypted database file under a temporary name beside it (made 0600 before
// the engine opens it; the engine gives its journal the same mode) with `fill`, checks it
// with `check`, then links it into place: the final name either does not exist or holds
// a complete database, and an existing file is never replaced (link fails when the name
// is taken). `what` begins every failure's description.
void writeNewFile(const QString& file, const QString& password, const QString& what,
                  const std::function<void(sqlite3*)>& fill, const Connection::Check& check)
{
    const QString shown = QDir::toNativeSeparators(file);
    const QByteArray nfile = QFile::encodeName(file);
    struct stat st = {};
    if (::lstat(nfile.constData(), &st) == 0)
        throw Error(SQLITE_CANTOPEN, u"文件“%1”已经存在，不会覆盖。"_s.arg(shown));
    const QString tmp = safefiles::tempBeside(file, u"new");
    const QByteArray ntmp = QFile::encodeName(tmp);
    ::unlink(ntmp.constData());
    ::unlink(QFile::encodeName(tmp + u"-journal"_s).constData());
    sqlite3* db = nullptr;
    auto removeTemp = [&] {
        ::unlink(ntmp.constData());
        ::unlink(QFile::encodeName(tmp + u"-journal"_s).constData());
    };
    // Fails with `told` (what happened, in Chinese) or else the engine's explanation.
    auto bail = [&](int code, const QString& why, const QString& told = {}) {
        sqlite3_close_v2(db);
        db = nullptr;
        removeTemp();
        throw Error(code,
                    what.arg(shown) + (told.isEmpty() ? explain(code) : told) + u"（"_s + why +
                        u"）"_s,
                    why);
    };
    const int made = safefiles::createPrivate(tmp);
    if (made < 0) {
        const int e = errno;
        throw Error(SQLITE_CANTOPEN, what.arg(shown) + safefiles::systemError(e),
                    QString::fromLocal8Bit(std::strerror(e)));
    }
    ::close(made);
    const int rc = sqlite3_open_v2(ntmp.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK)
        bail(rc, db ? engineMessage(db) : QString::fromUtf8(sqlite3_errstr(rc)));
    const QByteArray key = password.toUtf8();
    sqlite3_key(db, key.constData(), int(key.size()));
    try {
        fill(db);
    } catch (const Error& e) {
        if (e.detail().isEmpty() || e.description() == e.detail())
            bail(e.number(), e.detail().isEmpty() ? e.description() : e.detail());
        bail(e.number(), e.detail(), e.description());
    }
    if (sqlite3_close(db) != SQLITE_OK)
        bail(SQLITE_IOERR, u"close"_s);
    db = nullptr;
    if (check) {
        try {
            check(tmp);
        } catch (...) {
            removeTemp();
            throw;
        }
    }
    if (::link(ntmp.constData(), nfile.constData()) != 0) {
        const int e = errno;
        removeTemp();
        throw Error(e == EEXIST ? SQLITE_CANTOPEN : SQLITE_IOERR,
                    what.arg(shown) + safefiles::systemError(e),
                    QString::fromLocal8Bit(std::strerror(e)));
    }
    removeTemp();
    safefiles::syncDir(QFileInfo(file).absolutePath());
}

void exec(sqlite3* db, const QString& sql)
{
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        const QString msg = QString::fromUtf8(err ? err : sqlite3_errstr(rc));
        sqlite3_free(err);
        throw Error(rc, msg, msg);
    }
}

} // namespace

void Connection::create(const QString& file, const QString& password, const QStringList& schema)
{
    writeNewFile(file, password, u"无法创建数据库文件“%1”："_s,
                 [&schema](sqlite3* db) {
                     QStringList all = {u"PRAGMA cipher_page_size = 4096"_s,
                                        u"PRAGMA journal_mode=DELETE"_s, u"BEGIN"_s};
                     all += schema;
                     all += u"COMMIT"_s;
                     for (const QString& sql : std::as_const(all))
                         exec(db, sql);
                 },
                 {});
}

void Connection::backupTo(const QString& file, const QString& password,
                          const Check& beforePlacing) const
{
    if (!m_db)
        throw Error(ErrClosed, u"数据库连接没有打开，无法备份。"_s);
    writeNewFile(
        file, password, u"无法备份到“%1”："_s,
        [this](sqlite3* dest) {
            exec(dest, u"PRAGMA cipher_page_size = 4096"_s);
            sqlite3_backup* b = sqlite3_backup_init(dest, "main", m_db, "main");
            if (!b)
                throw Error(sqlite3_extended_errcode(dest), engineMessage(dest),
                            engineMessage(dest));
            const int rc = sqlite3_backup_step(b, -1);
            const int finished = sqlite3_backup_finish(b);
            if (rc != SQLITE_DONE) {
                // The reason is the source's when reading it failed (a damaged page), else
                // the copy's.
                const int source = sqlite3_extended_errcode(m_db);
                const bool fromSource = (source & 0xff) != SQLITE_OK;
                const int code = fromSource ? source : finished != SQLITE_OK ? finished : rc;
                const QString why =
                    fromSource ? engineMessage(m_db) : QString::fromUtf8(sqlite3_errstr(code));
                const int primary = code & 0xff;
                if (primary == SQLITE_ERROR || primary == SQLITE_CORRUPT ||
                    primary == SQLITE_NOTADB)
                    throw Error(code,
                                u"数据库的内容没能全部读出，数据库文件可能已经损坏，请运行"
                                "“ctdb check”检查"_s,
                                why);
                throw Error(code, why, why);
            }
        },
        beforePlacing);
}

namespace {
// The tables of an open handle and their columns (PRAGMA table_info), in order.
QHash<QString, QStringList> columnsOfHandle(sqlite3* db)
{
    QHash<QString, QStringList> out;
    Stmt tables;
    prepare(db, u"select name from sqlite_master where type = 'table'"_s, {}, tables);
    int rc;
    while ((rc = sqlite3_step(tables.s)) == SQLITE_ROW) {
        const QString name =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(tables.s, 0)));
        QString quoted = name;
        quoted.replace(u'"', u"\"\""_s);
        Stmt info;
        prepare(db, u"PRAGMA table_info(\""_s + quoted + u"\")"_s, {}, info);
        QStringList columns;
        int r;
        while ((r = sqlite3_step(info.s)) == SQLITE_ROW)
            columns << QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(info.s, 1)));
        if (r != SQLITE_DONE)
            throw engineError(db);
        out.insert(name, columns);
    }
    if (rc != SQLITE_DONE)
        throw engineError(db);
    return out;
}
} // namespace

QHash<QString, QStringList> Connection::columnsOf(const QStringList& schema)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        throw Error(SQLITE_NOMEM, explain(SQLITE_NOMEM));
    }
    try {
        for (const QString& sql : schema)
            exec(db, sql);
        QHash<QString, QStringList> out = columnsOfHandle(db);
        sqlite3_close(db);
        return out;
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
}

QHash<QString, QStringList> Connection::tableColumns()
{
    if (!m_db)
        throw Error(ErrClosed, u"数据库连接没有打开，无法执行操作。"_s);
    return columnsOfHandle(m_db);
}

// ---- Command --------------------------------------------------------------------------

Command::Command(Connection& conn, const QString& sql)
    : m_db(conn.handle()), m_stmt(prepareOnly(conn.handle(), sql))
{
}

Command::~Command()
{
    sqlite3_finalize(m_stmt);
}

int Command::Execute(const QVariantList& params)
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    bind(m_db, m_stmt, params);
    return step();
}

int Command::Execute(std::span<const std::optional<QStringView>> texts)
{
    sqlite3_reset(m_stmt);
    if (sqlite3_bind_parameter_count(m_stmt) != int(texts.size()))
        throw Error(SQLITE_RANGE, u"语句的参数个数不符。"_s);
    // Every text encoded into one buffer the command keeps, its room taken first so that
    // it does not move: the engine reads the values from it in place until the step is
    // done. A lone surrogate shows as an encoding error.
    qsizetype room = 0;
    for (const std::optional<QStringView>& t : texts)
        room += t ? t->size() * 3 : 0;
    if (m_utf8.size() < room)
        m_utf8.resize(room);
    char* at = m_utf8.data();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const int idx = int(i) + 1;
        int rc;
        if (!texts[i]) {
            rc = sqlite3_bind_null(m_stmt, idx);
        } else {
            const QStringView t = *texts[i];
            char* const end = m_encoder.appendToBuffer(at, t);
            if (m_encoder.hasError()) {
                m_encoder.resetState();
                sqlite3_clear_bindings(m_stmt); // no pointer into the buffer is left behind
                refuseLoneSurrogate(t);
            }
            rc = sqlite3_bind_text(m_stmt, idx, at, int(end - at), SQLITE_STATIC);
            at = end;
        }
        if (rc != SQLITE_OK)
            throw engineError(m_db);
    }
    return step();
}

int Command::step()
{
    int rc;
    while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        const Error e = engineError(m_db);
        sqlite3_reset(m_stmt);
        throw e;
    }
    const int changed = sqlite3_changes(m_db);
    sqlite3_reset(m_stmt);
    return changed;
}

// ---- Recordset ------------------------------------------------------------------------

void Recordset::Open(const QString& sql, Connection& conn, const QVariantList& params)
{
    Close();
    Stmt st;
    prepare(conn.handle(), sql, params, st);
    const int cols = sqlite3_column_count(st.s);
    ct::CellTable rows(cols);
    // A result's text takes no more UTF-16 units than the file has bytes, unless the
    // statement builds texts: room for that much is set aside (untouched, it costs no
    // memory) so that a large result does not copy its texts as it grows.
    rows.reserve(0, std::min<std::size_t>(std::size_t(QFileInfo(conn.fileName()).size()),
                                          std::size_t(1) << 26));
    QStringList names;
    names.reserve(cols);
    for (int c = 0; c < cols; ++c)
        names << QString::fromUtf8(sqlite3_column_name(st.s, c));
    // The file stores UTF-8: read it as it is and decode once, into the table, on
    // another thread while the statement steps on.
    ct::Utf8Filler fill(rows);
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
        for (int c = 0; c < cols; ++c) {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st.s, c));
            if (!p) {
                if (sqlite3_column_type(st.s, c) != SQLITE_NULL)
                    throw engineError(SQLITE_NOMEM, engineMessage(conn.handle()));
                fill.null();
                continue;
            }
            fill.text(p, std::size_t(sqlite3_column_bytes(st.s, c)));
        }
    }
    if (rc != SQLITE_DONE)
        throw engineError(conn.handle());
    fill.finish();

    m_names = names;
    m_rows = std::move(rows);
    m_pos = 0;
    m_open = true;
}

BatchReader::BatchReader(Connection& conn, const QString& sql)
    : m_db(conn.handle()), m_stmt(prepareOnly(m_db, sql)), m_columns(sqlite3_column_count(m_stmt))
{
}

BatchReader::~BatchReader()
{
    sqlite3_finalize(m_stmt);
}

ct::CellTable BatchReader::next(int rows)
{
    ct::CellTable out(m_columns);
    for (int n = 0; n < rows && !m_done; ++n) {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_DONE) {
            m_done = true;
            break;
        }
        if (rc != SQLITE_ROW)
            throw engineError(m_db);
        for (int c = 0; c < m_columns; ++c) {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, c));
            if (!p) {
                if (sqlite3_column_type(m_stmt, c) != SQLITE_NULL)
                    throw engineError(SQLITE_NOMEM, engineMessage(m_db));
                out.appendNullCell();
                continue;
            }
            out.appendCellUtf8(p, std::size_t(sqlite3_column_bytes(m_stmt, c)));
        }
    }
    return out;
}

void Recordset::Close()
{
    m_open = false;
    m_rows = ct::CellTable();
    m_names.clear();
    m_pos = 0;
}

void Recordset::requireOpen() const
{
    if (!m_open)
        throw Error(ErrClosed, u"记录集已关闭，不能进行此操作。"_s);
}

void Recordset::requireRow() const
{
    requireOpen();
    if (m_pos < 0 || m_pos >= m_rows.rowCount())
        throw Error(ErrNoCurrentRow, u"BOF 或 EOF 中有一个是“真”，或者当前记录已被删除。"_s);
}

bool Recordset::eof() const
{
    requireOpen();
    return m_pos >= m_rows.rowCount();
}

bool Recordset::bof() const
{
    requireOpen();
    return m_rows.rowCount() == 0;
}

void Recordset::MoveFirst()
{
    requireOpen();
    if (m_rows.rowCount() == 0)
        throw Error(ErrNoCurrentRow, u"BOF 或 EOF 中有一个是“真”，或者当前记录已被删除。"_s);
    m_pos = 0;
}

void Recordset::MoveNext()
{
    requireRow();
    ++m_pos;
}

int Recordset::columnIndex(const QString& name) const
{
    for (int i = 0; i < m_names.size(); ++i)
        if (m_names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

Field Recordset::Fields(int column) const
{
    requireOpen();
    if (column < 0 || column >= m_rows.columnCount())
        throw Error(ErrNoField, u"在对应所需名称或序数的集合中，未找到项目。"_s);
    return Field(this, column);
}

Field Recordset::Fields(const QString& name) const
{
    requireOpen();
    const int c = columnIndex(name);
    if (c < 0)
        throw Error(ErrNoField, u"在对应所需名称或序数的集合中，未找到项目：%1。"_s.arg(name));
    return Field(this, c);
}

ct::CellTable Recordset::takeRows()
{
    ct::CellTable out = std::move(m_rows);
    m_rows = ct::CellTable(out.columnCount());
    m_pos = 0;
    return out;
}

// ---- Field ----------------------------------------------------------------------------

bool Field::isNull() const
{
    m_rs->requireRow();
    return m_rs->m_rows.isNull(m_rs->m_pos, m_column);
}

QStringView Field::view() const
{
    m_rs->requireRow();
    return m_rs->m_rows.view(m_rs->m_pos, m_column);
}

QString Field::text() const
{
    if (isNull())
        throw Error(94, u"无效使用 Null"_s);
    return view().toString();
}

QVariant Field::Value() const
{
    if (isNull())
        return QVariant();
    return QVariant(view().toString());
}

int Field::toInt(bool* ok) const
{
    if (isNull()) {
        *ok = false;
        return 0;
    }
    const QString t = view().trimmed().toString();
    int v = t.toInt(ok);
    if (!*ok) {
        const double d = t.toDouble(ok);
        if (*ok && d >= -2147483648.0 && d <= 2147483647.0)
            v = int(d);
        else
            *ok = false;
    }
    return v;
}

QString Field::Name() const
{
    return m_rs->m_names.value(m_column);
}

} // namespace adodb
