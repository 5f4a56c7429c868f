#include "exchange/markdown.h"

#include "modul/cardmodul.h"

#include <QIODevice>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace exchange::markdown {

void writeDiary(const ct::CellTable& entries, QIODevice& out, const Progress& progress)
{
    struct Entry {
        std::optional<QDate> date;
        QString heading;
        int row;
    };
    std::vector<Entry> order;
    for (int r = 0, n = entries.rowCount(); r < n; ++r) {
        const auto d = cardmodul::parseDate(entries.text(r, 0));
        order.push_back({d, d ? cardmodul::datetext(*d) : entries.text(r, 0), r});
    }
    std::stable_sort(order.begin(), order.end(), [](const Entry& a, const Entry& b) {
        if (a.date && b.date)
            return *a.date < *b.date;
        if (a.date != b.date)
            return bool(a.date); // dates first
        return a.heading < b.heading;
    });
    Sink sink(out);
    sink.append("# 工作日记\n");
    qint64 done = 0;
    for (const Entry& e : order) {
        QString text = entries.text(e.row, 1);
        if (!text.isEmpty() && !text.endsWith(u'\n'))
            text += u'\n';
        sink.append((u"\n## "_s + e.heading + u"\n\n"_s + text).toUtf8());
        if (progress && ++done % kProgressStep == 0)
            progress(done);
    }
    sink.flush();
}

} // namespace exchange::markdown
