#pragma once
// The work diary as a Markdown document a person reads (CommonMark), and read back.

#include "exchange/records.h"

class QIODevice;

namespace exchange::markdown {

// "# 工作日记", then one "## yyyy-MM-dd" section per entry (rows: date, text) in date
// order. A date text that is no date keeps its text and comes after the dates. The text
// shows as written: what Markdown would take for markup is escaped (a line beginning with
// #, >, -, +, *, = or "1." stays text, as do *, _, `, [, <, & and \ anywhere), blanks at
// either end of a line are kept as character references, and every line break is a hard
// break (a backslash at the end of the line). UTF-8, LF line ends.
void writeDiary(const ct::CellTable& entries, QIODevice& out, const Progress& progress = {});

// The entries of a file writeDiary wrote (rows: date, text), each with the line of its
// heading; the texts are those written. A file that does not begin with "# 工作日记", or a
// text before the first section, is a DataError.
Records readDiary(QByteArrayView bytes);

// One line of an entry as writeDiary writes it (without the hard break), and back.
QString escapeLine(QStringView line);
QString unescapeLine(QStringView line);

} // namespace exchange::markdown
