#pragma once
// ctdb export and import: the tables of the database file to and from vCard, CSV,
// iCalendar and Markdown files.

#include "exchange/textcodec.h"

#include <QString>

#include <optional>

namespace transfer {

enum class Table { Cards, Meetings, Diary };
enum class Format { Vcf, Csv, Ics, Md };

std::optional<Table> tableNamed(QStringView name);   // cards, meetings, diary
std::optional<Format> formatNamed(QStringView name); // vcf, csv, ics, md, or such an extension

struct Request {
    Table table = Table::Cards;
    QString file; // "-" for standard input or output
    std::optional<Format> format;
    std::optional<exchange::Encoding> encoding;
    bool allowDuplicates = false;
    bool strict = false;  // a record that cannot be read refuses the whole file
    bool update = false;  // a record whose UID is known but differs replaces the stored one
    bool verbose = false; // every remark, not the first ten of each kind
};

// Each returns the exit code; a request that does not fit (a format the table has no
// use for, an output file that exists) throws console::UsageError.
int exportTable(const Request& r);
// One transaction: what is stored goes in together, or nothing does. A record that cannot
// be read is passed over with a remark (with `strict`, the file is refused); a file that
// is not of its format, or is cut off inside a record, is refused. A record whose UID is
// known is the same (nothing to do) or differs (passed over and counted, replaced with
// `update`); a card whose name is stored already or came earlier in the file, a meeting
// alike in date, time, topic and place, is reported and passed over unless
// allowDuplicates. Remarks: the first ten of each kind unless `verbose`.
int importTable(const Request& r);

} // namespace transfer
