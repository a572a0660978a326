#include "control/receivelowwatermark.h"

#include <algorithm>
#include <sys/socket.h>
#include <utility>

ReceiveLowWaterMark::ReceiveLowWaterMark(std::function<qintptr()> descriptor)
    : m_descriptor(std::move(descriptor))
{
    m_fallback.setSingleShot(true);
    m_fallback.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_fallback, &QTimer::timeout, &m_fallback, [this] { lower(); });
}

void ReceiveLowWaterMark::expect(std::optional<qint64> bytes)
{
    m_expected = bytes;
    if (wantedMark() != m_markBytes) {
        lower();
    }
}

int ReceiveLowWaterMark::wantedMark() const
{
    if (!m_expected) {
        return kMarkBytes;
    }
    // Decrypted bytes are counted against ciphertext in the kernel, which is never less.
    return *m_expected >= kSmallestMarkBytes
               ? static_cast<int>(std::min<qint64>(kMarkBytes, *m_expected))
               : 1;
}

void ReceiveLowWaterMark::noteBatch(qint64 waiting)
{
    if (m_expected) {
        *m_expected -= waiting;
    }
    const int wanted = wantedMark();
    const qintptr descriptor = m_descriptor();
    if (wanted == 1 || descriptor < 0) {
        lower();
        return;
    }
    if ((markBytes() > 1 || waiting >= kRaiseAtBytes) && wanted != markBytes() &&
        apply(descriptor, wanted)) {
        m_raisedOn = descriptor;
        m_markBytes = wanted;
    }
    if (markBytes() > 1) {
        m_fallback.start(kFallbackMs);
    }
}

bool ReceiveLowWaterMark::apply(qintptr descriptor, int bytes)
{
    return ::setsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_RCVLOWAT, &bytes,
                        sizeof bytes) == 0;
}

void ReceiveLowWaterMark::lower()
{
    // A socket closed meanwhile may have left its number to another file or socket: the mark
    // is only touched on the socket it was set on.
    if (m_raisedOn >= 0 && m_descriptor() == m_raisedOn) {
        apply(m_raisedOn, 1);
    }
    forget();
}

void ReceiveLowWaterMark::reset()
{
    m_expected.reset();
    forget();
}

void ReceiveLowWaterMark::forget()
{
    m_fallback.stop();
    m_raisedOn = -1;
    m_markBytes = 1;
}
