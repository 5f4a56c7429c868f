#include "exchange/input.h"

#include <QIODevice>

#include <cstring>
#include <new>

using namespace Qt::StringLiterals;

namespace exchange {

namespace {

constexpr qsizetype kChunk = qsizetype(1) << 20;

QString megabytes(qsizetype bytes)
{
    if (bytes >= qsizetype(1) << 30 && bytes % (qsizetype(1) << 30) == 0)
        return QString::number(bytes >> 30) + u" GB"_s;
    return QString::number(bytes >> 20) + u" MB"_s;
}

DataError tooLarge(int line, const Limits& limits)
{
    return DataError(line, u"文件超过了 %1（一次最多导入 %1），没有读完；请把它分成几个文件"
                           "再导入。"_s.arg(megabytes(limits.total)));
}

// Follows lines and records through the bytes as they come.
class Scanner {
public:
    Scanner(Framing f, const Limits& l) : m_framing(f), m_limits(l), m_headDone(f == Framing::Csv)
    {
    }

    void feed(const char* p, qsizetype n)
    {
        if (n == 0)
            return;
        if (!m_decided)
            decide(p, n);
        if (m_unit == 1)
            feedBytes(p, n);
        else
            feedUnits(p, n);
    }
    int line() const { return int(qMin<qint64>(m_line, 0x7fffffff)); }

private:
    // UTF-16 by its byte-order mark, or by the zero bytes of ASCII text in it.
    void decide(const char* p, qsizetype n)
    {
        m_decided = true;
        if (n >= 2 && uchar(p[0]) == 0xFF && uchar(p[1]) == 0xFE) {
            m_unit = 2;
        } else if (n >= 2 && uchar(p[0]) == 0xFE && uchar(p[1]) == 0xFF) {
            m_unit = 2;
            m_bigEndian = true;
        } else {
            int even = 0;
            int odd = 0;
            const qsizetype look = qMin<qsizetype>(n, 64) & ~qsizetype(1);
            for (qsizetype i = 0; i < look; i += 2) {
                even += p[i] == 0;
                odd += p[i + 1] == 0;
            }
            if (look >= 8 && odd * 2 >= look / 2 && even == 0)
                m_unit = 2;
            else if (look >= 8 && even * 2 >= look / 2 && odd == 0) {
                m_unit = 2;
                m_bigEndian = true;
            }
        }
    }

    // A character of the line's beginning (blanks before it passed over).
    void atHead(char c)
    {
        if (m_headDone)
            return;
        if (m_framing == Framing::Sections) {
            if (c == '#')
                newRecord();
            m_headDone = true;
            return;
        }
        if (m_head == 0 && (c == ' ' || c == '\t'))
            return;
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        m_text[m_head++] = c;
        const bool begin = m_head == 6 && std::memcmp(m_text, "BEGIN:", 6) == 0;
        const bool end = m_head == 4 && std::memcmp(m_text, "END:", 4) == 0;
        if (begin || end) {
            newRecord(); // a component begins or ends on this line
            m_headDone = true;
        } else if (m_head >= 6 || (std::memcmp(m_text, "BEGIN:", std::size_t(m_head)) != 0 &&
                                   std::memcmp(m_text, "END:", std::size_t(m_head)) != 0)) {
            m_headDone = true;
        }
    }

    // A new record from this line's beginning.
    void newRecord()
    {
        m_record = m_lineBytes;
        m_recordLine = m_line;
    }

    void newLine()
    {
        ++m_line;
        m_lineBytes = 0;
        m_head = 0;
        m_headDone = m_framing == Framing::Csv;
        if (m_framing == Framing::Csv && !m_quoted) {
            m_record = 0;
            m_recordLine = m_line;
        }
    }

    void check() const
    {
        if (m_lineBytes > m_limits.line)
            throw DataError(line(),
                            u"这一行超过了 %1（一行最多 %1），不是能导入的内容，"
                            "文件可能不完整或根本不是文本。"_s.arg(megabytes(m_limits.line)));
        if (m_record > m_limits.record)
            throw DataError(int(qMin<qint64>(m_recordLine, 0x7fffffff)),
                            u"从这一行开始的记录超过了 %1 还没有结束（一条记录最多 %1），"
                            "文件可能不完整或不是这个格式。"_s.arg(megabytes(m_limits.record)));
    }

    void feedBytes(const char* p, qsizetype n)
    {
        const char* const end = p + n;
        while (p < end) {
            if (!m_headDone) { // the few bytes that begin a line, one at a time
                const char c = *p++;
                ++m_lineBytes;
                ++m_record;
                if (c == '\n')
                    newLine();
                else
                    atHead(c);
                if (c == '"' && m_framing == Framing::Csv)
                    m_quoted = !m_quoted;
                continue;
            }
            // The rest of the line at once (a CSV line up to its next quote).
            const void* lf = std::memchr(p, '\n', std::size_t(end - p));
            const char* stop = lf ? static_cast<const char*>(lf) : end;
            if (m_framing == Framing::Csv)
                if (const void* q = std::memchr(p, '"', std::size_t(stop - p)))
                    stop = static_cast<const char*>(q);
            const qsizetype run = stop - p;
            m_lineBytes += run;
            m_record += run;
            p = stop;
            check();
            if (p == end)
                break;
            ++m_lineBytes;
            ++m_record;
            if (*p++ == '"')
                m_quoted = !m_quoted;
            else
                newLine();
        }
        check();
    }

    void feedUnits(const char* p, qsizetype n)
    {
        for (qsizetype i = 0; i < n; ++i) {
            if (!m_half) {
                m_first = uchar(p[i]);
                m_half = true;
                continue;
            }
            m_half = false;
            const unsigned u =
                m_bigEndian ? (m_first << 8) | uchar(p[i]) : (uchar(p[i]) << 8) | m_first;
            m_lineBytes += 2;
            m_record += 2;
            if (u == '\n') {
                newLine();
                continue;
            }
            if (u == '"' && m_framing == Framing::Csv)
                m_quoted = !m_quoted;
            if (!m_headDone && u != 0xFEFF)
                atHead(u < 0x80 ? char(u) : '\x7f');
            if ((m_lineBytes & 0xffff) == 0)
                check();
        }
        check();
    }

    Framing m_framing;
    Limits m_limits;
    bool m_decided = false;
    int m_unit = 1;
    bool m_bigEndian = false;
    bool m_half = false; // a UTF-16 unit's first byte came at the end of the last piece
    unsigned m_first = 0;
    qint64 m_line = 1;
    qint64 m_lineBytes = 0;
    qint64 m_record = 0;
    qint64 m_recordLine = 1;
    bool m_quoted = false;
    bool m_headDone;
    char m_text[6] = {};
    int m_head = 0;
};

} // namespace

QByteArray readBounded(QIODevice& in, Framing framing, QByteArray head, const Limits& limits)
{
    Scanner scan(framing, limits);
    QByteArray all = std::move(head);
    // The scanner takes the bytes once there are enough to tell UTF-16 from bytes by.
    constexpr qsizetype kEnoughToDecide = 64;
    qsizetype fed = 0;
    auto feed = [&](bool atEnd) {
        if (fed == 0 && all.size() < kEnoughToDecide && !atEnd)
            return;
        scan.feed(all.constData() + fed, all.size() - fed);
        fed = all.size();
    };
    try {
        feed(false);
        if (!in.isSequential() && in.size() > limits.total)
            throw tooLarge(0, limits);
        if (!in.isSequential() && in.size() > all.size())
            all.reserve(qsizetype(in.size()) + 1);
        for (;;) {
            const qsizetype at = all.size();
            all.resize(at + kChunk);
            const qint64 n = in.read(all.data() + at, kChunk);
            all.resize(at + qMax<qint64>(n, 0));
            if (n < 0)
                throw DataError(scan.line(), u"读到这一行时出错（%1）。"_s.arg(in.errorString()));
            feed(n == 0);
            if (n == 0)
                break;
            if (all.size() > limits.total)
                throw tooLarge(scan.line(), limits);
        }
    } catch (const std::bad_alloc&) {
        const qsizetype read = all.size();
        all = QByteArray();
        throw DataError(scan.line(), u"读到这一行时内存不足（已读 %1），文件太大，无法读完。"_s.arg(
                                         megabytes(read)));
    }
    return all;
}

} // namespace exchange
