#pragma once
// Application services: the executable's directory, the title and the version.

#include <QString>

using namespace Qt::StringLiterals;

namespace appinfo {

inline const QString kTitle = u"澄桐工作管理"_s;

QString exeDir();
void setExeDir(const QString& dir); // test seam; empty restores the real directory

QString title(); // the application title, 澄桐工作管理

int versionMajor();
int versionMinor();
int versionRevision();

} // namespace appinfo
