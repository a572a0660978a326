// A read-only, sequential QIODevice over a GMime stream.
#include "scanner/definitioncheck/mimestreamdevice.h"

#include "scanner/definitioncheck/gmimeheaders.h"

namespace scanner {

MimeStreamDevice::MimeStreamDevice(GMimeStream* stream) : m_stream(stream)
{
    g_object_ref(m_stream);
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

MimeStreamDevice::~MimeStreamDevice()
{
    g_object_unref(m_stream);
}

qint64 MimeStreamDevice::readData(char* data, qint64 maxSize)
{
    // A filter stream gives one decoded chunk of a few KiB per call; the matcher works best on
    // the large blocks it asks for, so fill them. A bounded GMime stream answers a read past its
    // end with -1, so the end is asked for before each read; -1 before the end is a failure, told
    // on the next call when bytes came before it.
    qint64 filled = 0;
    while (filled < maxSize && !g_mime_stream_eos(m_stream)) {
        const ssize_t got = g_mime_stream_read(m_stream, data + filled, size_t(maxSize - filled));
        if (got < 0) {
            return filled > 0 ? filled : -1;
        }
        if (got == 0) {
            break;
        }
        filled += got;
    }
    return filled;
}

qint64 MimeStreamDevice::writeData(const char*, qint64)
{
    return -1;
}

} // namespace scanner
