#pragma once
// ctdb history: the texts a diary entry had before (the windows never show them), and
// bringing one of them back.

#include <QString>

#include <optional>

namespace history {

// Lists the date's current text and its earlier texts, each with its number.
int list(const QString& date);
// Makes earlier text number `serno` of the date its entry again; the text it replaces is
// kept in the history in turn.
int bringBack(const QString& date, qint64 serno);

} // namespace history
