// The shipped library's system-store check: the companion beside it, loaded on the first chain
// that needs it and kept.
#include "control/companionmodule.h"
#include "control/systemtrust.h"
#include "platform/modulelibrary.h"

#include <cstdio>

namespace {

SystemTrustEntry loadCheck()
{
    QByteArray failure;
    const QString path = companionModulePath(kSystemTrustModule, &failure);
    const auto entry = path.isEmpty()
                           ? nullptr
                           : reinterpret_cast<SystemTrustEntry>(
                                 platform::loadModuleEntry(path, kSystemTrustEntryPoint, &failure));
    if (!entry) {
        // The chain then stays untrusted, and the connection fails as for any untrusted server.
        std::fprintf(stderr, "VRLN401: the system's certificate store cannot be consulted: %s\n",
                     failure.constData());
    }
    return entry;
}

} // namespace

bool systemtrust::vouchesFor(const QList<QSslCertificate>& chain, const QByteArray& peerName)
{
    static const SystemTrustEntry check = loadCheck();
    return check && check(chain, peerName);
}
