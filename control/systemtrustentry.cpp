// The one entry point of the companion VRLN401trust.so.
#include "control/systemtrust.h"

#include <type_traits>

extern "C" __attribute__((visibility("default"))) bool
VorlaneSystemTrustVouchesFor(const QList<QSslCertificate>& chain, const QByteArray& peerName)
{
    return systemtrust::vouchesFor(chain, peerName);
}

// The entry point has the signature the loader calls it by.
static_assert(std::is_same_v<decltype(&VorlaneSystemTrustVouchesFor), SystemTrustEntry>);
