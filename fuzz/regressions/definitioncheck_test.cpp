// Findings of the definition check target: messages where the check missed a definition that the
// plain rule finds. The misses come from Vectorscan 5.4.9's AVX-512 scan code (its AVX2 and SSE
// code find them), so these cases fail only on machines with AVX-512.
#include "scanner/definitioncheck/definitionset.h"
#include "tests/reference/plaincheck.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

using Hits = std::vector<std::pair<std::string, std::string>>;

class FuzzFindingDefinitionCheck : public testing::Test {
protected:
    // Checks with the set at the given read block size and with the plain rule; both hit lists.
    std::pair<Hits, Hits> check(const QByteArray& definitions, const QByteArray& message,
                                qsizetype blockSize)
    {
        const QString definitionPath = write("def.dat", definitions);
        const QString messagePath = write("msg.txt", message);
        scanner::DefinitionSet set;
        set.setCacheDirectory(QString());
        set.setReadBlockSize(blockSize);
        set.setSamplingThreshold(std::numeric_limits<qsizetype>::max());
        const scanner::CheckResult fast = set.check(definitionPath, messagePath);
        const scanner::CheckResult plain = scanner::checkPlain(definitionPath, messagePath);
        EXPECT_TRUE(fast.ok);
        EXPECT_TRUE(plain.ok);
        return {printable(fast.hits), printable(plain.hits)};
    }

private:
    static Hits printable(const std::vector<scanner::Hit>& hits)
    {
        Hits out;
        for (const scanner::Hit& hit : hits) {
            out.emplace_back(hit.definition.toStdString(), hit.messageLine.toStdString());
        }
        return out;
    }

    QString write(const char* name, const QByteArray& content)
    {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        return path;
    }

    QTemporaryDir m_dir;
};

TEST_F(FuzzFindingDefinitionCheck, DefinitionAfterALongStretchWithoutCandidatesIsFound)
{
    // The fuzzer's input, minimized: the one-byte definition "r" in the last byte of a 65-byte
    // message.
    const auto [fast, plain] = check("r\rRx", QByteArray(64, 'x') + "R", 4096);
    EXPECT_EQ(plain.size(), 1u);
    EXPECT_EQ(fast, plain);
}

TEST_F(FuzzFindingDefinitionCheck, DefinitionInTheLastLineAfterASeparatorLineIsFound)
{
    // The same fault with an ordinary message: the last line after a long line of "=".
    const QByteArray message =
        "Subject: test\r\n\r\n" + QByteArray(70, '=') + "\r\nSee the virus\r\n";
    const auto [fast, plain] = check("virus\r\nworm\r\n", message, 1 << 20);
    EXPECT_EQ(plain.size(), 1u);
    EXPECT_EQ(fast, plain);
}

} // namespace
