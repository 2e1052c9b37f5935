// The process memory report shown in the settings dialog: eleven lines read from the kernel's process files.
#pragma once

#include <QString>
#include <QStringList>

namespace vellicam {

// The closest Linux figures to the report's counters, in bytes (counts for the faults).
struct MemoryCounters {
    unsigned long processId = 0;
    unsigned long pageFaults = 0; // minor + major
    unsigned long peakWorkingSet = 0; // VmHWM
    unsigned long workingSet = 0; // VmRSS
    unsigned long peakPagedPool = 0; // VmPeak: the peak of everything mapped
    unsigned long pagedPool = 0; // VmSize
    unsigned long peakNonPagedPool = 0; // VmPTE: page tables never leave memory; Linux keeps no peak
    unsigned long nonPagedPool = 0; // VmPTE
    unsigned long peakPagefile = 0; // VmSwap; Linux keeps no peak
    unsigned long pagefile = 0; // VmSwap
};

// Reads the counters of this process from `statusPath` and `statPath` (normally /proc/self/status and
// /proc/self/stat). False, with `counters` untouched, when either file cannot be read or lacks a figure.
[[nodiscard]] bool ReadMemoryCounters(MemoryCounters& counters, const QString& statusPath = "/proc/self/status",
    const QString& statPath = "/proc/self/stat");

// The eleven report lines, values right-aligned in ten places where the report asks for it.
[[nodiscard]] QStringList MemoryReportLines(const MemoryCounters& counters);

} // namespace vellicam
