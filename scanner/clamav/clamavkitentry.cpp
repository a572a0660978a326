// The one entry point of the module Orsel01clamav.so: ClamAvEngine behind the kit's interface.
#include "scanner/clamav/clamavkit.h"

namespace {

class ModuleEngine final : public scanner::InProcessClamAv {
public:
    explicit ModuleEngine(const scanner::ClamAvEngine::Limits& limits)
    {
        m_engine.setLimits(limits);
    }

    bool load(const QString& folder, const std::function<void()>& keepAlive,
              QString* error) override
    {
        return m_engine.load(folder, keepAlive, error);
    }
    bool scanFile(const QString& path, scanner::ClamAvVerdict* verdict,
                  QString* error) const override
    {
        return m_engine.scanFile(path, verdict, error);
    }
    QByteArray fingerprint() const override { return m_engine.fingerprint(); }

private:
    scanner::ClamAvEngine m_engine;
};

class ClamAvModuleKit final : public scanner::ClamAvKit {
public:
    std::unique_ptr<scanner::InProcessClamAv>
    createEngine(const scanner::ClamAvEngine::Limits& limits) const override
    {
        return std::make_unique<ModuleEngine>(limits);
    }
};

} // namespace

extern "C" __attribute__((visibility("default"))) const scanner::ClamAvKit* OrselClamAvKit()
{
    static const ClamAvModuleKit kit;
    return &kit;
}
