#pragma once
// The texts the system-information dialog shows, from plain records so they
// can be checked without the system.

#include "desktop/SystemInfo.h"

#include <QString>

// The operating system's name: the Windows table, or otherName on systems the
// table does not know. Empty when the query failed or nothing matches.
QString fOSName(const OsVersionInfo &info);

// "Percentage of RAM in use:37%", "Total RAM:8589934592 bytes",
// "Available RAM:... bytes". An unknown status leaves the figure out.
QString MemoryUsedText(const MemoryStatus &status);
QString TotalMemText(const MemoryStatus &status);
QString AvailMemText(const MemoryStatus &status);
