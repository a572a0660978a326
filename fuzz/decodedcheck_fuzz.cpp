// The decoded check on hostile mail: the input is the saved message, checked against two fixed
// definitions. Any failure, crash or hang is a finding, and so is a hit whose text does not hold
// its definition (unless the decoded line was cut for length).
#include "fuzzcheck.h"
#include "scanner/definitioncheck/decodedcheck.h"
#include "scanner/definitioncheck/definitionset.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

namespace {

QString write(const QTemporaryDir& folder, const QString& name, QByteArrayView content)
{
    const QString path = folder.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content.data(), content.size()) != content.size()) {
        fuzzcheck::fail("cannot write the fuzz input's files");
    }
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QTemporaryDir folder;
    static scanner::DefinitionSet set;
    set.setCacheDirectory(QString());
    const QString definitions = write(folder, QStringLiteral("def.dat"), "evil\r\npayload\r\n");
    const QString message =
        write(folder, QStringLiteral("msg.txt"),
              QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    fuzzcheck::require(set.check(definitions, message).ok, "the raw check failed");
    const scanner::CheckResult decoded = scanner::checkDecodedParts(set, message);
    if (!decoded.ok) {
        fuzzcheck::fail("the decoded check failed", decoded.error.toUtf8());
    }
    for (const scanner::Hit& hit : decoded.hits) {
        if (!hit.messageLine.toLower().contains(hit.definition) &&
            hit.messageLine.size() <= scanner::kDecodedLineLimit) {
            fuzzcheck::fail("a hit without its definition", hit.definition, hit.messageLine);
        }
    }
    return 0;
}
