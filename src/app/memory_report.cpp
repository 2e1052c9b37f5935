#include "memory_report.h"

#include <QFile>
#include <QMap>

#include <unistd.h>

namespace vellicam {

namespace {

bool ReadAll(const QString& path, QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // Files under /proc report a size of 0, so read until the end rather than by size.
    bytes = file.readAll();
    return !bytes.isEmpty();
}

// "VmRSS:	  1234 kB" lines; values in kB become bytes.
QMap<QByteArray, unsigned long> StatusFigures(const QByteArray& status)
{
    QMap<QByteArray, unsigned long> figures;
    for (const QByteArray& line : status.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QList<QByteArray> parts = line.mid(colon + 1).simplified().split(' ');
        bool ok = false;
        const unsigned long value = parts.value(0).toULong(&ok);
        if (!ok)
            continue;
        const bool kilobytes = parts.value(1) == "kB";
        figures.insert(line.left(colon), kilobytes ? value * 1024UL : value);
    }
    return figures;
}

} // namespace

bool ReadMemoryCounters(MemoryCounters& counters, const QString& statusPath, const QString& statPath)
{
    QByteArray status;
    QByteArray stat;
    if (!ReadAll(statusPath, status) || !ReadAll(statPath, stat))
        return false;

    // The command name in parentheses may hold spaces: the numbered fields start after the last ')'.
    const int close = stat.lastIndexOf(')');
    if (close < 0)
        return false;
    const QList<QByteArray> fields = stat.mid(close + 1).simplified().split(' ');
    // After the name: state, ppid, pgrp, session, tty, tpgid, flags, minflt, cminflt, majflt.
    if (fields.size() < 10)
        return false;
    bool okMinor = false;
    bool okMajor = false;
    const unsigned long minor = fields[7].toULong(&okMinor);
    const unsigned long major = fields[9].toULong(&okMajor);
    if (!okMinor || !okMajor)
        return false;

    const QMap<QByteArray, unsigned long> figures = StatusFigures(status);
    for (const char* name : { "VmHWM", "VmRSS", "VmPeak", "VmSize", "VmPTE" }) {
        if (!figures.contains(name))
            return false;
    }

    MemoryCounters read;
    read.processId = static_cast<unsigned long>(::getpid());
    read.pageFaults = minor + major;
    read.peakWorkingSet = figures.value("VmHWM");
    read.workingSet = figures.value("VmRSS");
    read.peakPagedPool = figures.value("VmPeak");
    read.pagedPool = figures.value("VmSize");
    read.peakNonPagedPool = figures.value("VmPTE");
    read.nonPagedPool = figures.value("VmPTE");
    // Kernels without swap accounting leave the line out: no swap then.
    read.peakPagefile = figures.value("VmSwap", 0);
    read.pagefile = figures.value("VmSwap", 0);
    counters = read;
    return true;
}

QStringList MemoryReportLines(const MemoryCounters& c)
{
    return {
        QString::asprintf("プロセスID　　　：%lu", c.processId),
        // There is no process handle here; the process's own identifier stands in, printed as a pointer would be.
        QString::asprintf("プロセス・ハンドル　:0x%08lX", c.processId),
        QString::asprintf("ページフォールト数　：%10lu個", c.pageFaults),
        QString::asprintf("最大ワーキングセット：%10luバイト", c.peakWorkingSet),
        QString::asprintf("現在ワーキングセット：%10luバイト", c.workingSet),
        QString::asprintf("最大ページプール：%10luバイト", c.peakPagedPool),
        QString::asprintf("現在ページプール：%10luバイト", c.pagedPool),
        QString::asprintf("最大非ページプール：%10luバイト", c.peakNonPagedPool),
        QString::asprintf("現在非ページプール：%10luバイト", c.nonPagedPool),
        QString::asprintf("最大ページングファイル：%10luバイト", c.peakPagefile),
        QString::asprintf("現在ページングファイル：%10luバイト", c.pagefile),
    };
}

} // namespace vellicam
