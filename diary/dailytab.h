#pragma once
// The statements of daily_tab: one diary entry per date.

#include "platform/adodb.h"

#include <QString>

#include <optional>

namespace dailytab {

struct Entry {
    QString date;
    std::optional<QString> desc; // Null when the stored text has no value
};

// Saves the entry of a date; an existing entry of that date gets the new text.
void save(adodb::Connection& conn, const QString& date, const QString& desc);
// The entry stored under the date text, if any.
std::optional<Entry> find(adodb::Connection& conn, const QString& date);
// Every entry (date, text), in the order of the date texts.
void openAll(adodb::Connection& conn, adodb::Recordset& rs);
} // namespace dailytab
