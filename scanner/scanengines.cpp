#include "scanner/scanengines.h"

#include "scanner/clamav/clamdconfig.h"
#include "scanner/definitioncheck/decodedcheck.h"
#include "scanner/definitioncheck/mimekit.h"
#include "scanner/programmodule.h"
#include "scanner/statusoutput.h"

#include <limits>
#include <optional>

namespace {

// A limit from the settings: absent, or a whole number above 0.
template <class Number>
bool readLimit(const QString& key, const QString& value, std::optional<Number>* limit,
               QString* error)
{
    if (value.isEmpty()) {
        return true;
    }
    bool ok = false;
    const qulonglong number = value.trimmed().toULongLong(&ok);
    if (!ok || number == 0 || number > std::numeric_limits<Number>::max()) {
        *error = QStringLiteral("%1 in the settings must be a whole number above 0, not \"%2\".")
                     .arg(key, value);
        return false;
    }
    *limit = Number(number);
    return true;
}

} // namespace

ScanEngines::ScanEngines(const modGeneral::EngineSettings& settings)
    : m_decode(settings.decode == QLatin1String("1")), m_settings(settings)
{
}

ScanEngines::~ScanEngines() = default;

bool ScanEngines::prepare(const std::function<void(const QString&)>& showInfo,
                          const std::function<void()>& keepAlive, QString* error)
{
    if (m_settings.clamAV.isEmpty() || m_clamAv || m_clamd) {
        return true;
    }
    if (const std::optional<QString> socket = scanner::clamdSocketNamed(m_settings.clamAV)) {
        return prepareDaemon(*socket, showInfo, error);
    }
    return prepareInProcess(showInfo, keepAlive, error);
}

bool ScanEngines::prepareInProcess(const std::function<void(const QString&)>& showInfo,
                                   const std::function<void()>& keepAlive, QString* error)
{
    scanner::ClamAvEngine::Limits limits;
    if (!readLimit(QStringLiteral("ClamAVMaxFileSize"), m_settings.clamAVMaxFileSize,
                   &limits.maxFileSizeMb, error) ||
        !readLimit(QStringLiteral("ClamAVMaxRecursion"), m_settings.clamAVMaxRecursion,
                   &limits.maxRecursion, error) ||
        !readLimit(QStringLiteral("ClamAVMaxFiles"), m_settings.clamAVMaxFiles, &limits.maxFiles,
                   error)) {
        return false;
    }
    const auto* kit = loadProgramModule<scanner::ClamAvKit>(scanner::kClamAvKitModule,
                                                            scanner::kClamAvKitEntryPoint, error);
    if (!kit) {
        *error = QStringLiteral("Cannot load the ClamAV engine: %1").arg(*error);
        return false;
    }
    const QString folder = scanner::ClamAvEngine::databaseFolder(m_settings.clamAV);
    showInfo(QStringLiteral("Loading ClamAV signatures from %1...").arg(folder));
    std::unique_ptr<scanner::InProcessClamAv> engine = kit->createEngine(limits);
    if (!engine->load(folder, keepAlive, error)) {
        return false;
    }
    m_clamAv = std::move(engine);
    return true;
}

bool ScanEngines::prepareDaemon(const QString& socket,
                                const std::function<void(const QString&)>& showInfo, QString* error)
{
    showInfo(QStringLiteral("Connecting to the ClamAV daemon at %1...").arg(socket));
    auto engine = std::make_unique<scanner::ClamdEngine>(socket);
    if (!engine->connect(error)) {
        return false;
    }
    showInfo(QStringLiteral("Using the ClamAV daemon %1 at %2")
                 .arg(QString::fromUtf8(engine->version()), socket));
    if (m_settings.clamAV == QLatin1String("clamd") && !scanner::clamdReportsLimits()) {
        writeErrorText(QStringLiteral("Orsel01: %1 does not set \"AlertExceedsMax yes\": the "
                                      "ClamAV daemon answers \"OK\" for a message beyond its "
                                      "limits, which then passes for clean.")
                           .arg(scanner::kSystemClamdConfig));
    }
    m_clamd = std::move(engine);
    return true;
}

scanner::CheckResult ScanEngines::check(const scanner::DefinitionSet& definitions,
                                        const QString& messagePath)
{
    scanner::CheckResult result;
    if (m_decode) {
        result = checkDecoded(definitions, messagePath);
        if (!result.ok) {
            return result;
        }
    }
    if (!m_clamAv && !m_clamd) {
        return result;
    }
    scanner::ClamAvVerdict verdict;
    if (m_clamd) {
        verdict = m_clamd->scanFile(messagePath);
    } else if (!m_clamAv->scanFile(messagePath, &verdict, &result.error)) {
        result.ok = false;
        return result;
    }
    for (const auto& detection : verdict.found) {
        result.hits.push_back({detection.signature, detection.innerFile.isEmpty()
                                                        ? QByteArray("ClamAV")
                                                        : "ClamAV: " + detection.innerFile});
    }
    // The first engine's reason stands; ClamAV's is not lost when the decoded check had none.
    if (result.notFullyChecked.isEmpty()) {
        result.notFullyChecked = verdict.notFullyChecked;
    }
    return result;
}

scanner::CheckResult ScanEngines::checkDecoded(const scanner::DefinitionSet& definitions,
                                               const QString& messagePath)
{
    QString error;
    if (!m_mime && !(m_mime = loadProgramModule<scanner::MimeKit>(
                         scanner::kMimeKitModule, scanner::kMimeKitEntryPoint, &error))) {
        return scanner::CheckResult::failure(
            QStringLiteral("Cannot load the decoded check: %1").arg(error));
    }
    return scanner::checkDecodedParts(definitions, *m_mime->openEncodedParts(messagePath),
                                      messagePath);
}

QByteArray ScanEngines::fingerprint() const
{
    QByteArray clamAv("off");
    if (m_clamAv) {
        clamAv = m_clamAv->fingerprint();
    } else if (m_clamd) {
        clamAv = m_clamd->fingerprint();
    }
    return QByteArray("decode=") + (m_decode ? "1" : "0") + ";clamav=" + clamAv;
}
