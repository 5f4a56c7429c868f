#include "modul/dbfile.h"

#include "platform/appinfo.h"

namespace cardmodul {

QString dbFilePath()
{
    // The separator of this platform stands where the designed "\" stood.
    return appinfo::exeDir() + u"/"_s + kDbFileName;
}

QString connectionText()
{
    return connectionText(dbFilePath());
}

QString connectionText(const QString& file)
{
    return u"Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=false;"_s + u"Data Source="_s +
           file + u";Jet OLEDB:Database password = "_s + kPassword + u";"_s;
}

} // namespace cardmodul
