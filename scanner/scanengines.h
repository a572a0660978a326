// The checks that run after the definition check of the raw saved message, when the settings turn
// them on: the decoded check (MIME parts decoded, same definitions) and ClamAV, in-process with a
// database folder or as the system's daemon. GMime and libclamav come from the program's modules,
// loaded only when a check needs them.
#pragma once

#include "scanner/clamav/clamavkit.h"
#include "scanner/clamav/clamdengine.h"
#include "scanner/definitioncheck/checkresult.h"
#include "scanner/modgeneral.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

namespace scanner {
class DefinitionSet;
class MimeKit;
} // namespace scanner

class ScanEngines {
public:
    explicit ScanEngines(const modGeneral::EngineSettings& settings);
    ~ScanEngines();

    // Readies what needs it once per run: loads the ClamAV database, or makes sure the daemon
    // answers. showInfo gets the label texts to show meanwhile; keepAlive is called now and then
    // during a load. False with error when ClamAV cannot be used: its module or the database does
    // not load, the daemon is not there or does not answer, a limit in the settings is not a
    // number.
    bool prepare(const std::function<void(const QString&)>& showInfo,
                 const std::function<void()>& keepAlive, QString* error);

    // Runs after definitions.check() of the same message: decoded hits first, then ClamAV's.
    // ClamAV's have D = the signature name and M = "ClamAV", or "ClamAV: " and the inner file's
    // name when the engine gives one. When an engine fails, the result carries its error and the
    // hits of the engines before it, which the run reports before it stops (the decoded check
    // fails when its module cannot be loaded). What kept ClamAV from checking the message to its
    // end is in notFullyChecked.
    scanner::CheckResult check(const scanner::DefinitionSet& definitions,
                               const QString& messagePath);

    // Names the configuration of every engine, so that a memory of scanned messages can tell a
    // result of other engines from one of these: "decode=0|1;clamav=off", or with ClamAV
    // "decode=...;clamav=" and the engine's own fingerprint. Complete after prepare(); it loads
    // no module of its own.
    QByteArray fingerprint() const;

    // True when an engine beside the definition check is on: check() then reads the message.
    bool readsTheMessage() const { return m_decode || m_clamAv || m_clamd; }

private:
    bool prepareInProcess(const std::function<void(const QString&)>& showInfo,
                          const std::function<void()>& keepAlive, QString* error);
    bool prepareDaemon(const QString& socket, const std::function<void(const QString&)>& showInfo,
                       QString* error);
    scanner::CheckResult checkDecoded(const scanner::DefinitionSet& definitions,
                                      const QString& messagePath);

    bool m_decode = false;
    modGeneral::EngineSettings m_settings;
    const scanner::MimeKit* m_mime = nullptr; // loaded at the first decoded check
    std::unique_ptr<scanner::InProcessClamAv> m_clamAv;
    std::unique_ptr<scanner::ClamdEngine> m_clamd;
};
