// The process's peak resident memory over a stretch of a test, read from /proc (Linux).
#pragma once

#include <QtGlobal>

class PeakMemory {
public:
    // Resets the kernel's peak (VmHWM) to the present resident size and remembers that size.
    PeakMemory();
    // How far the peak rose above the resident size at construction, in bytes.
    qint64 growth() const;

private:
    qint64 m_start;
};
