#include "platform/appinfo.h"

#include <QCoreApplication>

namespace appinfo {

namespace {
QString g_exeDir;
} // namespace

QString exeDir()
{
    if (!g_exeDir.isEmpty())
        return g_exeDir;
    return QCoreApplication::applicationDirPath();
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
