#pragma once
// Comma-separated values (RFC 4180) for the card and meeting lists: a heading row with
// the list headings of the windows, then one record per row.

#include "exchange/records.h"
#include "exchange/textcodec.h"

#include <QStringView>

#include <functional>
#include <optional>
#include <span>
#include <vector>

class QIODevice;

namespace exchange::csv {

// Calls f for every record of the text with the line it begins on and its fields.
// Fields are separated by commas, records by CRLF or LF; a field in double quotes may
// hold commas, line breaks and doubled quotes. A quote left open, or text after a
// closing quote, is a DataError.
using RecordFn = std::function<void(int line, std::span<const QString> fields)>;
void parse(QStringView text, const RecordFn& f);

// Appends one record ending in CRLF; a field holding a comma, a quote or a line break is
// quoted, its quotes doubled.
void appendRecord(QString& out, const std::vector<QStringView>& fields);

// The text of a file: UTF-8 after a byte-order mark; else the encoding told; else UTF-8
// when the bytes are UTF-8, GB18030 otherwise. Bytes not valid in the encoding are a
// DataError naming the first such line.
QString decodeFile(QByteArrayView bytes, std::optional<Encoding> told);

// Cards: the 22 list headings (序号 included); rows in cardtab's columns, names decoded.
// UTF-8 is written with a byte-order mark, GB18030 without.
void writeCards(const ct::CellTable& cards, QIODevice& out, Encoding e,
                const Progress& progress = {});
// The same for cards that come in batches.
void writeCardBatches(const RowBatches& next, QIODevice& out, Encoding e,
                      const Progress& progress = {});
// Columns are found by their headings (序号 is ignored, any other may be missing); a
// heading that is not a card list heading, a row with another number of fields than the
// heading row, or a row without a name is a DataError. Rows without any text (序号 aside)
// are passed over.
Records readCards(QByteArrayView bytes, std::optional<Encoding> told);
// The same, the rows handed on in batches while the file is read.
void readCardBatches(QByteArrayView bytes, std::optional<Encoding> told, const Batches& emit);

// Meetings: the six search list headings, the departure time as hour：minute.
void writeMeetings(const ct::CellTable& meetings, QIODevice& out, Encoding e,
                   const Progress& progress = {});
void writeMeetingBatches(const RowBatches& next, QIODevice& out, Encoding e,
                         const Progress& progress = {});
// A departure time that is empty or hour：minute (also with ':') within 0–23 and 0–59;
// anything else is a DataError.
Records readMeetings(QByteArrayView bytes, std::optional<Encoding> told);
void readMeetingBatches(QByteArrayView bytes, std::optional<Encoding> told, const Batches& emit);

} // namespace exchange::csv
