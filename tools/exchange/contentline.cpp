#include "tools/exchange/contentline.h"

namespace exchange {

void appendEscaped(QByteArray& out, QStringView value)
{
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
