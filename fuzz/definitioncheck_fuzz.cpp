// The definition check against the plain rule: random definition files and messages, read in
// blocks of a size the input chooses, with the long definitions sampled or not. Any difference in
// the hits or their order is a finding.
//
// Input: byte 0 = read block size (low six bits + 1, times 64 when the high bit is set), byte 1
// bit 0 = sample every long definition, byte 2 = separator; the rest up to the first separator
// is the definition file, after it the message.
#include "fuzzcheck.h"
#include "scanner/definitioncheck/definitionset.h"
#include "tests/reference/plaincheck.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <unistd.h>
#include <vector>

namespace {

// The files live on tmpfs when there is one, and are rewritten for each input. The name is built
// anew on every call: a static QString would be gone before the clean-up at exit runs.
QString folder()
{
    const QString base =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    return base + QStringLiteral("/vorlane-fuzz-definitioncheck-%1").arg(getpid());
}

void removeFolder()
{
    QDir(folder()).removeRecursively();
}

// libFuzzer's fork mode ends its jobs without running exit handlers: the folders of processes that
// are gone are removed here instead.
void removeStaleFolders()
{
    QDir base(QFileInfo(folder()).path());
    const QString prefix = QStringLiteral("vorlane-fuzz-definitioncheck-");
    for (const QString& name : base.entryList({prefix + QLatin1Char('*')}, QDir::Dirs)) {
        if (!QDir(QStringLiteral("/proc/") + name.mid(prefix.size())).exists()) {
            QDir(base.filePath(name)).removeRecursively();
        }
    }
}

QString write(const QString& name, QByteArrayView content)
{
    static const bool made = [] {
        removeStaleFolders();
        std::atexit(removeFolder);
        return QDir().mkpath(folder());
    }();
    if (!made) {
        fuzzcheck::fail("cannot make the folder for the fuzz input's files");
    }
    const QString path = folder() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content.data(), content.size()) != content.size()) {
        fuzzcheck::fail("cannot write the fuzz input's files");
    }
    return path;
}

QByteArray describe(const std::vector<scanner::Hit>& hits)
{
    QByteArray out = QByteArray::number(qsizetype(hits.size())) + " hits:";
    for (const scanner::Hit& hit : hits) {
        out += " [" + hit.definition + "] in [" + hit.messageLine + "]";
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) {
        return 0;
    }
    // One set for the whole run, as the scanner keeps one: unchanged definitions are reused.
    static scanner::DefinitionSet set;
    set.setCacheDirectory(QString());
    const qsizetype block = ((data[0] & 0x3f) + 1) * ((data[0] & 0x80) ? 64 : 1);
    set.setReadBlockSize(block);
    set.setSamplingThreshold((data[1] & 1) ? 1 : std::numeric_limits<qsizetype>::max());

    const QByteArrayView rest(reinterpret_cast<const char*>(data) + 3, qsizetype(size) - 3);
    const qsizetype separator = rest.indexOf(char(data[2]));
    const QByteArrayView definitionText = separator < 0 ? rest : rest.first(separator);
    const QByteArrayView messageText =
        separator < 0 ? QByteArrayView() : rest.sliced(separator + 1);
    const QString definitions = write(QStringLiteral("def.dat"), definitionText);
    const QString message = write(QStringLiteral("msg.txt"), messageText);

    const scanner::CheckResult plain = scanner::checkPlain(definitions, message);
    const scanner::CheckResult fast = set.check(definitions, message);
    fuzzcheck::require(plain.ok, "the plain check failed");
    if (!fast.ok) {
        fuzzcheck::fail("the check failed", fast.error.toUtf8());
    }
    if (fast.hits != plain.hits) {
        fuzzcheck::fail("hits", describe(fast.hits), describe(plain.hits));
    }
    return 0;
}
