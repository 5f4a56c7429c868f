#include "platform/appinfo.h"

#include <QCoreApplication>

namespace appinfo {

namespace {
QString g_exeDir;
QString g_title = kTitle;
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
    return g_title;
}

void setTitle(const QString& title)
{
    g_title = title;
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
