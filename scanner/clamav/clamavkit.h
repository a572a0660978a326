// libclamav behind a module boundary: the program loads the in-process engine from its module
// Orsel01clamav.so only when the settings name a signature folder, so that every other run (the
// ClamAV daemon's included) loads no libclamav.
#pragma once

#include "scanner/clamav/clamavengine.h"

#include <memory>

namespace scanner {

// What a run uses of a ClamAvEngine (see there).
class InProcessClamAv {
public:
    virtual ~InProcessClamAv() = default;
    virtual bool load(const QString& folder, const std::function<void()>& keepAlive,
                      QString* error) = 0;
    virtual bool scanFile(const QString& path, ClamAvVerdict* verdict, QString* error) const = 0;
    virtual QByteArray fingerprint() const = 0;
};

class ClamAvKit {
public:
    // An engine with these limits, nothing loaded yet.
    virtual std::unique_ptr<InProcessClamAv>
    createEngine(const ClamAvEngine::Limits& limits) const = 0;

protected:
    ~ClamAvKit() = default;
};

inline constexpr char kClamAvKitModule[] = "Orsel01clamav.so";
inline constexpr char kClamAvKitEntryPoint[] = "OrselClamAvKit";

} // namespace scanner
