#pragma once
// The statements of daily_tab: one diary entry per date, and the history of the texts
// that saves replaced (daily_hist), so that no save destroys a text.

#include "platform/adodb.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace dailytab {

struct Entry {
    QString date;
    std::optional<QString> desc; // Null when the stored text has no value
};

enum class Save {
    Replace, // an existing entry of the date gets the new text
    Append,  // the new text goes after the existing one, a blank line between
};

// Saves the entry of a date at `now`. The text an existing entry had is kept in the
// history (unless the save leaves it as it was). One transaction: all or nothing.
void save(adodb::Connection& conn, const QString& date, const QString& desc, Save how,
          const QDateTime& now);
// The same inside a transaction the caller holds (an import): the text replaces the entry
// of the date, the text it had goes to the history.
void saveIn(adodb::Connection& conn, const QString& date, const std::optional<QString>& desc,
            const QDateTime& now);
// The entry stored under the date text, if any.
std::optional<Entry> find(adodb::Connection& conn, const QString& date);
// The statement of every entry (date, text), in the order of the date texts.
QString allQuery();

struct Version {
    qint64 serno = 0;
    QString date;
    std::optional<QString> desc;
    QString replacedAt; // yyyy-MM-dd HH:mm:ss
};
// The texts the date's entry had before, oldest first.
QList<Version> history(adodb::Connection& conn, const QString& date);
// Brings back an earlier text as the entry of its date; the text it replaces goes to the
// history. False when there is no such version.
bool restore(adodb::Connection& conn, qint64 serno, const QDateTime& now);

} // namespace dailytab
