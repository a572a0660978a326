// The one entry point of the module Orsel01keyring.so.
#include "scanner/desktop/keyringkit.h"
#include "scanner/desktop/keyringpassword.h"

namespace {

class QtKeychainKit final : public KeyringKit {
public:
    std::optional<QString> readPassword(const QString& key, bool promptAllowed, int timeoutMs,
                                        QString* error) const override
    {
        return KeyringPassword(key).read(promptAllowed ? KeyringPassword::Prompt::Allowed
                                                       : KeyringPassword::Prompt::Never,
                                         timeoutMs, error);
    }
};

} // namespace

extern "C" __attribute__((visibility("default"))) const KeyringKit* OrselKeyringKit()
{
    static const QtKeychainKit kit;
    return &kit;
}
