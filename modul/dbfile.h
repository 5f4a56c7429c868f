#pragma once
// The database file of the program: its name beside the executable, its key, and the
// connection texts that open it or another file of the program's (a backup, a copy).

#include <QString>

using namespace Qt::StringLiterals;

namespace cardmodul {

inline const QString kDbFileName = u"ctsource.mdb"_s;
inline const QString kPassword = u"q4u4-b7d7-h252"_s;

QString dbFilePath();     // the executable's directory + "/ctsource.mdb"
QString connectionText(); // the full connection text for dbFilePath()
// The connection text for another file of the program's (a backup, a copy to check).
QString connectionText(const QString& file);

} // namespace cardmodul
