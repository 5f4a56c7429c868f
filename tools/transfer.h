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
};

// Each returns the exit code; a request that does not fit (a format the table has no
// use for, an output file that exists) throws console::UsageError.
int exportTable(const Request& r);
// All or nothing: the rows are read whole first, then stored in one transaction. A card
// whose name is stored already, or came earlier in the file, is reported and passed over
// unless allowDuplicates.
int importTable(const Request& r);

} // namespace transfer
