#include "exchange/contentline.h"

#include <QStringEncoder>

#include <algorithm>

namespace exchange {

void appendEscaped(QByteArray& out, QStringView value)
{
    const bool plain = std::none_of(value.begin(), value.end(), [](QChar c) {
        return c == u'\\' || c == u',' || c == u';' || c == u'\r' || c == u'\n';
    });
    if (plain) { // the common case: encoded straight onto the end
        thread_local QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
        const qsizetype at = out.size();
        out.resize(at + value.size() * 3);
        char* const end = encoder.appendToBuffer(out.data() + at, value);
        out.resize(end - out.constData());
        return;
    }
    const QByteArray u = value.toUtf8();
    const char* p = u.constData();
    const qsizetype n = u.size();
    qsizetype run = 0; // start of the bytes not yet appended
    for (qsizetype i = 0; i < n; ++i) {
        const char c = p[i];
        if (c != '\\' && c != ',' && c != ';' && c != '\r' && c != '\n')
            continue;
        out.append(p + run, i - run);
        if (c == '\r' || c == '\n') {
            out.append("\\n", 2);
            if (c == '\r' && i + 1 < n && p[i + 1] == '\n')
                ++i;
        } else {
            const char escaped[2] = {'\\', c};
            out.append(escaped, 2);
        }
        run = i + 1;
    }
    out.append(p + run, n - run);
}

void appendFolded(QByteArray& out, QByteArrayView line)
{
    qsizetype pos = 0;
    qsizetype room = 75;
    while (line.size() - pos > room) {
        qsizetype cut = pos + room;
        while (cut > pos && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        out.append(line.sliced(pos, cut - pos));
        out.append("\r\n ", 3);
        pos = cut;
        room = 74; // the continuation's leading blank counts
    }
    out.append(line.sliced(pos));
    out.append("\r\n", 2);
}

} // namespace exchange
