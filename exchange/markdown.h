#pragma once
// The work diary as a Markdown document a person reads.

#include "exchange/records.h"

class QIODevice;

namespace exchange::markdown {

// "# 工作日记", then one "## yyyy-MM-dd" section per entry (rows: date, text) in date
// order, the text as written. A date text that is no date keeps its text and comes after
// the dates. UTF-8, LF line ends.
void writeDiary(const ct::CellTable& entries, QIODevice& out, const Progress& progress = {});

} // namespace exchange::markdown
