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
    // GMime streams signal their end with 0 and failures with -1, as QIODevice does.
    const ssize_t got = g_mime_stream_read(m_stream, data, size_t(maxSize));
    return got < 0 ? -1 : qint64(got);
}

qint64 MimeStreamDevice::writeData(const char*, qint64)
{
    return -1;
}

} // namespace scanner
