#pragma once
// Comma-separated values (RFC 4180) for the card and meeting lists: a heading row with
// the list headings of the windows, then one record per row; and the CSV files other
// programs write (Google, Outlook, Thunderbird, spreadsheets), read by their headings.

#include "exchange/records.h"
#include "exchange/textcodec.h"

#include <QDate>
#include <QStringView>

#include <functional>
#include <optional>
#include <span>
#include <vector>

class QIODevice;

namespace exchange::csv {

// Calls f for every record of the text with the line it begins on and its fields.
// Fields are separated by the delimiter, records by CRLF, LF or a lone CR; a field in
// double quotes may hold delimiters, line breaks and doubled quotes. A quote left open is
// a DataError (the file was cut off). Text after a closing quote makes the record broken:
// `broken` is told its line and why (a DataError without it), and the record is passed.
using RecordFn = std::function<void(int line, std::span<const QString> fields)>;
using BrokenFn = std::function<void(int line, const QString& why)>;
void parse(QStringView text, const RecordFn& f, QChar delimiter = u',',
           const BrokenFn& broken = {});
// The delimiter of a file: comma, semicolon or tab, whichever its first line has most of
// (outside quotes); a comma when it has none.
QChar delimiterOf(QStringView text);

// Appends one record ending in CRLF; a field holding a comma, a quote or a line break is
// quoted, its quotes doubled.
void appendRecord(QString& out, const std::vector<QStringView>& fields);

// The text of a file. Unless the encoding is told: UTF-16 by its byte-order mark or by
// its zero bytes; UTF-8 after a UTF-8 mark or when the bytes are UTF-8; else GB18030 when
// they are that. Otherwise line by line (UTF-8, else GB18030), a line in neither (or not
// in the told encoding) marked so that its record is passed over.
QString decodeFile(QByteArrayView bytes, std::optional<Encoding> told);

// Cards: the 22 list headings (序号 included); rows in cardtab's columns, names decoded.
// UTF-8 is written with a byte-order mark, GB18030 without.
void writeCards(const ct::CellTable& cards, QIODevice& out, Encoding e,
                const Progress& progress = {});
// The same for cards that come in batches.
void writeCardBatches(const RowBatches& next, QIODevice& out, Encoding e,
                      const Progress& progress = {});
// Cards of a file with the card list's headings (any order, some missing, 序号 ignored),
// or of another program's contact list (headings::CardLayout). A row's name is its name,
// else its company, nickname, e-mail or phone; a row without any, a row whose fields do
// not fit the heading row and a broken row are passed over with a remark (Records::
// skipped). Rows without any text (序号 aside) are no records. A heading row without any
// column a card could be named after is a DataError: the file holds no cards.
Records readCards(QByteArrayView bytes, std::optional<Encoding> told);
// The same, the rows handed on in batches while the file is read.
void readCardBatches(QByteArrayView bytes, std::optional<Encoding> told, const Batches& emit);

// Meetings: the six search list headings, the departure time as hour：minute.
void writeMeetings(const ct::CellTable& meetings, QIODevice& out, Encoding e,
                   const Progress& progress = {});
void writeMeetingBatches(const RowBatches& next, QIODevice& out, Encoding e,
                         const Progress& progress = {});
// Meetings of a file with the meeting list's headings, or of Outlook's calendar export
// (Subject, Start Date, Start Time, All day event, Location; English or Chinese), whose
// meetings are recorded `today`. A departure time must be empty or hour：minute (also
// with ':') within 0–23 and 0–59, a start date a date; a row that is not is passed over
// with a remark.
Records readMeetings(QByteArrayView bytes, std::optional<Encoding> told, const QDate& today);
void readMeetingBatches(QByteArrayView bytes, std::optional<Encoding> told, const QDate& today,
                        const Batches& emit);

} // namespace exchange::csv
