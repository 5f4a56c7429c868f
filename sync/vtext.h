#pragma once
// Content lines of vCard and iCalendar texts as the sync patches them: unfolded, split
// into name, parameters and value, and put back folded. Only what the sync needs.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vtext {

// The logical lines of a text (folds joined, CR LF or LF endings, empty lines dropped).
QStringList unfold(const QByteArray& text);
// The text of logical lines: each folded at 75 octets and ended with CRLF.
QByteArray join(const QStringList& lines);

// The name (upper case) of a content line, before its first ';' or ':'.
QString nameOf(const QString& line);
// Its value: after the first ':' that is not inside a quoted parameter value.
QString valueOf(const QString& line);
// The TYPE values of its parameters, lower case ("TYPE=work,voice;TYPE=pref" and the
// vCard 2.1 bare form "TEL;CELL:").
QStringList typesOf(const QString& line);
// A text value with \n \, \; \\ decoded / encoded.
QString unescape(QStringView value);
QString escape(QStringView value);

// The span [begin, end) of lines of the first component `name` (BEGIN:name ... END:name),
// begin the BEGIN line; end == begin when there is none.
struct Span {
    int begin = 0;
    int end = 0;
};
Span component(const QStringList& lines, const QString& name, int from = 0);
// The lines directly inside a component span (not inside a nested component).
QList<int> ownLines(const QStringList& lines, Span s);

} // namespace vtext
