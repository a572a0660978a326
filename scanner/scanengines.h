// The checks that run after the definition check of the raw saved message, when the settings turn
// them on: the decoded check (MIME parts decoded, same definitions) and the ClamAV engine.
#pragma once

#include "scanner/clamav/clamavengine.h"
#include "scanner/definitioncheck/checkresult.h"
#include "scanner/modgeneral.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

namespace scanner {
class DefinitionSet;
}

class ScanEngines {
public:
    explicit ScanEngines(const modGeneral::EngineSettings& settings);
    ~ScanEngines();

    // Loads what needs loading once per run (the ClamAV database). showInfo gets the label text
    // to show while it loads; keepAlive is called now and then during the load. False with error
    // when the database cannot be loaded.
    bool prepare(const std::function<void(const QString&)>& showInfo,
                 const std::function<void()>& keepAlive, QString* error);

    // Runs after definitions.check() of the same message: decoded hits first, then ClamAV's.
    // ClamAV's have D = the signature name and M = "ClamAV", or "ClamAV: " and the inner file's
    // name when ClamAV gives one. When an engine fails, the result carries its error and the hits
    // of the engines before it, which the run reports before it stops.
    scanner::CheckResult check(const scanner::DefinitionSet& definitions,
                               const QString& messagePath);

    // Names the configuration of every engine, so that a memory of scanned messages can tell a
    // result of other engines from one of these: "decode=0|1;clamav=off" or
    // "decode=...;clamav=folder=...;version=...;time=...;signatures=...". Complete after prepare().
    QByteArray fingerprint() const;

private:
    bool m_decode = false;
    QString m_clamAvFolder;
    std::unique_ptr<scanner::ClamAvEngine> m_clamAv;
};
