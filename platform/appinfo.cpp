#include "platform/appinfo.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace appinfo {

namespace {
QString g_exeDir;
} // namespace

QString exeDir()
{
    if (!g_exeDir.isEmpty())
        return g_exeDir;
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // Before the application object exists (the start-up opens the database that early).
    return QFileInfo(u"/proc/self/exe"_s).canonicalPath();
}

void setExeDir(const QString& dir)
{
    g_exeDir = dir;
}

QString title()
{
    return kTitle;
}

int versionMajor()
{
    return CT_VERSION_MAJOR;
}

int versionMinor()
{
    return CT_VERSION_MINOR;
}

int versionRevision()
{
    return CT_VERSION_PATCH;
}

} // namespace appinfo
