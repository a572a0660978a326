#include "scanner/scanengines.h"

#include "scanner/definitioncheck/decodedcheck.h"

ScanEngines::ScanEngines(const modGeneral::EngineSettings& settings)
    : m_decode(settings.decode == QLatin1String("1")),
      m_clamAvFolder(settings.clamAV.isEmpty()
                         ? QString()
                         : scanner::ClamAvEngine::databaseFolder(settings.clamAV))
{
}

ScanEngines::~ScanEngines() = default;

bool ScanEngines::prepare(const std::function<void(const QString&)>& showInfo,
                          const std::function<void()>& keepAlive, QString* error)
{
    if (m_clamAvFolder.isEmpty() || m_clamAv) {
        return true;
    }
    showInfo(QStringLiteral("Loading ClamAV signatures from %1...").arg(m_clamAvFolder));
    auto engine = std::make_unique<scanner::ClamAvEngine>();
    if (!engine->load(m_clamAvFolder, keepAlive, error)) {
        return false;
    }
    m_clamAv = std::move(engine);
    return true;
}

scanner::CheckResult ScanEngines::check(const scanner::DefinitionSet& definitions,
                                        const QString& messagePath)
{
    scanner::CheckResult result;
    if (m_decode) {
        result = scanner::checkDecodedParts(definitions, messagePath);
        if (!result.ok) {
            return result;
        }
    }
    if (m_clamAv) {
        std::vector<scanner::ClamAvEngine::Detection> found;
        if (!m_clamAv->scanFile(messagePath, &found, &result.error)) {
            result.ok = false;
            return result;
        }
        for (const auto& detection : found) {
            result.hits.push_back({detection.signature, detection.innerFile.isEmpty()
                                                            ? QByteArray("ClamAV")
                                                            : "ClamAV: " + detection.innerFile});
        }
    }
    return result;
}

QByteArray ScanEngines::fingerprint() const
{
    return QByteArray("decode=") + (m_decode ? "1" : "0") +
           ";clamav=" + (m_clamAv ? m_clamAv->fingerprint() : QByteArray("off"));
}
