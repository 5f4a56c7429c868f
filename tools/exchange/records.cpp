#include "tools/exchange/records.h"

#include <QIODevice>

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
            throw WriteError(u"写入失败：%1"_s.arg(m_out.errorString()));
        done += qsizetype(n);
    }
    m_buf.clear();
}

} // namespace exchange
