// The ClamAV engine.
#include "scanner/clamav/clamavengine.h"

#include "platform/regularfile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <clamav.h>
#include <mutex>
#include <unistd.h>

namespace scanner {
namespace {

// libclamav reports the detail of a failure (which file, which line) only through its message
// callback; keep the last error so that the user sees it, not only the generic code text.
QByteArray& lastClamAvError()
{
    static QByteArray text;
    return text;
}

void onClamAvMessage(enum cl_msg severity, const char*, const char* message, void*)
{
    if (severity == CL_MSG_ERROR && message) {
        lastClamAvError() = QByteArray(message).trimmed();
    }
}

bool initialiseClamAv(QString* error)
{
    static std::once_flag once;
    static cl_error_t status = CL_SUCCESS;
    std::call_once(once, [] {
        cl_set_clcb_msg(onClamAvMessage);
        status = cl_init(CL_INIT_DEFAULT);
    });
    if (status != CL_SUCCESS) {
        *error =
            QStringLiteral("Cannot start ClamAV: %1").arg(QString::fromUtf8(cl_strerror(status)));
        return false;
    }
    return true;
}

cl_error_t onProgress(size_t, size_t, void* context)
{
    const auto* keepAlive = static_cast<const std::function<void()>*>(context);
    if (*keepAlive) {
        (*keepAlive)();
    }
    return CL_SUCCESS;
}

struct ScanContext {
    ClamAvVerdict* verdict;
    QByteArray innerFile; // the file ClamAV looked at last, below the message itself
};

cl_error_t onFileInspection(int, const char*, const char**, size_t, const char* fileName, size_t,
                            const char*, uint32_t recursionLevel, uint32_t, void* context)
{
    auto* scan = static_cast<ScanContext*>(context);
    scan->innerFile = recursionLevel > 0 && fileName ? QByteArray(fileName) : QByteArray();
    return CL_CLEAN;
}

void onVirusFound(int, const char* name, void* context)
{
    auto* scan = static_cast<ScanContext*>(context);
    scan->verdict->add({QByteArray(name ? name : ""), scan->innerFile});
}

QString reason(cl_error_t status)
{
    QString text = QString::fromUtf8(cl_strerror(status));
    if (!lastClamAvError().isEmpty()) {
        text += QStringLiteral(" (") + QString::fromUtf8(lastClamAvError()) + QLatin1Char(')');
    }
    return text;
}

// What the database folder holds (or the one file it names), in name order.
QFileInfoList databaseEntries(const QString& folder)
{
    const QFileInfo top(folder);
    if (!top.isDir()) {
        return top.exists() || top.isSymLink() ? QFileInfoList{top} : QFileInfoList{};
    }
    return QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// libclamav opens the database files by name and reads each to its end: a FIFO there hangs the
// load for ever, a device feeds it without end. What is neither a folder nor a regular file (or a
// link to one) is named instead.
std::optional<QString> irregularDatabaseFile(const QString& folder)
{
    for (const QFileInfo& entry : databaseEntries(folder)) {
        if (entry.exists() && !entry.isDir() && !entry.isFile()) {
            return entry.filePath();
        }
    }
    return std::nullopt;
}

// Names, sizes and modification times of the database files. The database's own version, time
// and count stay 0, 0 and the same when a custom .hdb is replaced by one of as many signatures.
QByteArray databaseListing(const QString& folder)
{
    QByteArray listing;
    for (const QFileInfo& entry : databaseEntries(folder)) {
        listing += QFile::encodeName(entry.fileName()) + ':' + QByteArray::number(entry.size()) +
                   ':' + QByteArray::number(entry.lastModified().toMSecsSinceEpoch()) + ',';
    }
    return QCryptographicHash::hash(listing, QCryptographicHash::Sha256).toHex();
}

void applyLimits(cl_engine* engine, const ClamAvEngine::Limits& limits)
{
    if (limits.maxFileSizeMb) {
        const auto bytes = static_cast<long long>(*limits.maxFileSizeMb * 1024 * 1024);
        cl_engine_set_num(engine, CL_ENGINE_MAX_FILESIZE, bytes);
        // The scan total counts the message and everything unpacked from it; a mail's attachment
        // decoded is most of its size again.
        int err = 0;
        const long long total = cl_engine_get_num(engine, CL_ENGINE_MAX_SCANSIZE, &err);
        cl_engine_set_num(engine, CL_ENGINE_MAX_SCANSIZE, std::max(total, 2 * bytes));
    }
    if (limits.maxRecursion) {
        cl_engine_set_num(engine, CL_ENGINE_MAX_RECURSION, *limits.maxRecursion);
    }
    if (limits.maxFiles) {
        cl_engine_set_num(engine, CL_ENGINE_MAX_FILES, *limits.maxFiles);
    }
}

} // namespace

ClamAvEngine::ClamAvEngine() = default;

ClamAvEngine::~ClamAvEngine()
{
    if (m_engine) {
        cl_engine_free(m_engine);
    }
}

bool ClamAvEngine::hasDatabase(const QString& folder)
{
    QString error;
    unsigned signatures = 0;
    return !irregularDatabaseFile(folder) && initialiseClamAv(&error) &&
           cl_countsigs(QFile::encodeName(folder).constData(), CL_COUNTSIGS_ALL, &signatures) ==
               CL_SUCCESS &&
           signatures > 0;
}

bool ClamAvEngine::load(const QString& folder, const std::function<void()>& keepAlive,
                        QString* error)
{
    if (!initialiseClamAv(error)) {
        return false;
    }
    m_folder = folder;
    m_engine = cl_engine_new();
    const auto fail = [&](const QString& why) {
        *error = QStringLiteral("Cannot load the ClamAV database in %1: %2").arg(folder, why);
        cl_engine_free(m_engine);
        m_engine = nullptr;
        return false;
    };
    if (!m_engine) {
        return fail(QStringLiteral("out of memory"));
    }
    if (const std::optional<QString> irregular = irregularDatabaseFile(folder)) {
        return fail(QStringLiteral("%1 is not a regular file").arg(*irregular));
    }
    applyLimits(m_engine, m_limits);
    auto* context = const_cast<std::function<void()>*>(&keepAlive);
    cl_engine_set_clcb_sigload_progress(m_engine, onProgress, context);
    cl_engine_set_clcb_engine_compile_progress(m_engine, onProgress, context);
    lastClamAvError().clear();
    cl_error_t status =
        cl_load(QFile::encodeName(folder).constData(), m_engine, &m_signatures, CL_DB_STDOPT);
    if (status == CL_SUCCESS && m_signatures == 0) {
        return fail(QStringLiteral("no signatures found"));
    }
    if (status == CL_SUCCESS) {
        status = cl_engine_compile(m_engine);
    }
    if (status != CL_SUCCESS) {
        return fail(reason(status));
    }
    cl_engine_set_clcb_sigload_progress(m_engine, nullptr, nullptr);
    cl_engine_set_clcb_engine_compile_progress(m_engine, nullptr, nullptr);
    cl_engine_set_clcb_file_inspection(m_engine, onFileInspection);
    cl_engine_set_clcb_virus_found(m_engine, onVirusFound);
    return true;
}

bool ClamAvEngine::scanFile(const QString& path, ClamAvVerdict* verdict, QString* error) const
{
    *verdict = {};
    cl_scan_options options{};
    // Every detection, not only the first: each one is an alert of its own.
    options.general = CL_SCAN_GENERAL_ALLMATCHES | CL_SCAN_GENERAL_HEURISTICS;
    options.parse = ~0u;
    // Without it ClamAV stops quietly at a limit, and a message it never looked into would
    // pass for clean.
    options.heuristic = CL_SCAN_HEURISTIC_EXCEEDS_MAX;
    ScanContext context{verdict, {}};
    const char* name = nullptr;
    unsigned long scanned = 0;
    lastClamAvError().clear();
    // By descriptor, opened as a regular file only: a FIFO in the saved file's place cannot
    // hang the scan.
    QString why;
    const QByteArray nativePath = QFile::encodeName(path);
    const int fd = platform::openRegularFile(nativePath, &why);
    if (fd < 0) {
        *error = QStringLiteral("ClamAV cannot scan %1: %2").arg(path, why);
        return false;
    }
    const cl_error_t status = cl_scandesc_callback(fd, nativePath.constData(), &name, &scanned,
                                                   m_engine, &options, &context);
    ::close(fd);
    if (status != CL_CLEAN && status != CL_VIRUS) {
        *error = QStringLiteral("ClamAV cannot scan %1: %2").arg(path, reason(status));
        return false;
    }
    return true;
}

QByteArray ClamAvEngine::fingerprint() const
{
    int err = 0;
    const long long version =
        m_engine ? cl_engine_get_num(m_engine, CL_ENGINE_DB_VERSION, &err) : 0;
    const long long time = m_engine ? cl_engine_get_num(m_engine, CL_ENGINE_DB_TIME, &err) : 0;
    return "folder=" + QFile::encodeName(m_folder) + ";version=" + QByteArray::number(version) +
           ";time=" + QByteArray::number(time) + ";signatures=" + QByteArray::number(m_signatures) +
           ";files=" + databaseListing(m_folder) + ";limits=reported";
}

} // namespace scanner
