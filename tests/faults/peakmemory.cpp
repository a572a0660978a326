#include "tests/faults/peakmemory.h"

#include <QByteArray>
#include <QFile>

namespace {

// A field of /proc/self/status such as "VmRSS:     1234 kB", in bytes; -1 when missing.
qint64 statusField(const QByteArray& name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(name + ':')) {
            return line.mid(name.size() + 1).trimmed().split(' ').first().toLongLong() * 1024;
        }
    }
    return -1;
}

} // namespace

PeakMemory::PeakMemory()
{
    // "5" resets the peak resident size (Linux 4.0 and later).
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly)) {
        clearRefs.write("5");
    }
    m_start = statusField("VmRSS");
}

qint64 PeakMemory::growth() const
{
    return statusField("VmHWM") - m_start;
}

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps up to 256 MB of freed memory resident to catch late uses; the peak would
// then measure that cache rather than the control. A small one still catches recent frees. The
// variable ASAN_OPTIONS still overrides this.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=8";
}
#endif
