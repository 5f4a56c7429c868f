#pragma once
// What the reader targets share: two tables compared with a null and an empty cell taken
// as the same (a writer leaves an empty value out, and the reader gives it back as null).

#include "platform/celltable.h"

#include <cstdio>
#include <cstdlib>

// Ends the run, saying which check failed, unless `held`.
#define FUZZ_REQUIRE(held, what) fuzz::require((held), (what), __FILE__, __LINE__)

namespace fuzz {

inline void require(bool held, const char* what, const char* file, int line)
{
    if (held)
        return;
    std::fprintf(stderr, "%s:%d: %s\n", file, line, what);
    std::abort();
}

inline void requireSameRows(const ct::CellTable& a, const ct::CellTable& b)
{
    FUZZ_REQUIRE(a.rowCount() == b.rowCount() && a.columnCount() == b.columnCount(),
                 "the same number of rows and columns");
    for (int r = 0; r < a.rowCount(); ++r)
        for (int c = 0; c < a.columnCount(); ++c)
            if (a.view(r, c) != b.view(r, c)) {
                std::fprintf(stderr, "row %d column %d: [%s] then [%s]\n", r, c,
                             a.view(r, c).toString().toUtf8().constData(),
                             b.view(r, c).toString().toUtf8().constData());
                FUZZ_REQUIRE(false, "the same cells");
            }
}

// Every row has the line it began on, in file order, and its UID (empty or not); every
// record passed over names a line of the file.
template <typename Records> void requireLines(const Records& read, qsizetype bytes)
{
    FUZZ_REQUIRE(read.lines.size() == std::size_t(read.rows.rowCount()), "a line for every row");
    FUZZ_REQUIRE(read.uids.size() == std::size_t(read.rows.rowCount()), "a UID for every row");
    for (const auto& n : read.skipped)
        FUZZ_REQUIRE(n.line >= 1 && n.line <= bytes + 1 && !n.text.isEmpty(),
                     "a record passed over names its line");
    int last = 0;
    for (int line : read.lines) {
        FUZZ_REQUIRE(line >= 1 && line >= last && line <= bytes + 1, "lines in file order");
        last = line;
    }
}

} // namespace fuzz
