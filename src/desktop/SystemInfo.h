#pragma once
// What the system tells about itself, as plain records so the naming rules can
// be tested without the system.

#include <QString>
#include <QtGlobal>

struct OsVersionInfo
{
    enum Family { Other = 0, Win9x = 1, WinNT = 2 };
    bool ok = false;          // the query succeeded
    int platformId = Other;
    quint32 major = 0;
    quint32 minor = 0;
    quint32 build = 0;
    QString servicePack;      // may hold a null character; text after it is ignored
    QString otherName;        // name and kernel version on systems outside the table
};

struct MemoryStatus
{
    bool ok = false;
    quint32 memoryLoad = 0;   // percent in use
    quint64 totalPhys = 0;    // bytes
    quint64 availPhys = 0;    // bytes
};
