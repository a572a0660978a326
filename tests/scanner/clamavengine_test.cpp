// The ClamAV engine with a tiny signature database written here: EICAR inside a deflated zip
// inside a base64 attachment is found by ClamAV's own unpacking, where def.dat sees nothing; a
// database that cannot be loaded is an error naming the folder; a message beyond ClamAV's limits
// is not fully checked, until the limits are raised.
#include "definitioncheck_testfiles.h"
#include "scanner/clamav/clamavengine.h"
#include "scanner/definitioncheck/decodedcheck.h"
#include "tests/support/overlimitmail.h"
#include "tests/support/testmail.h"

#include <QDir>
#include <gtest/gtest.h>

namespace scanner::test {
namespace {

using namespace testmail;

QByteArray zippedEicarMail()
{
    const QByteArray zip = deflatedZip("eicar.com", eicar());
    EXPECT_FALSE(zip.isEmpty()) << "python3 could not build the zip";
    return message("zipped", multipart("mixed", "z",
                                       {part({"Content-Type: text/plain"}, "See attachment.\r\n"),
                                        base64Attachment("test.zip", "application/zip", zip)}));
}

TEST(ClamAvEngine, FindsEicarInAZippedAttachmentWhereTheDefinitionsDoNot)
{
    TestFolder folder;
    QDir().mkpath(folder.path(QStringLiteral("db")));
    folder.write(QStringLiteral("db/tiny.hdb"), eicarHashDatabase("Orsel.Test.EICAR"));
    const QString mail = folder.write(QStringLiteral("msg1.txt"), zippedEicarMail());
    const QString clean =
        folder.write(QStringLiteral("msg2.txt"),
                     message("clean", base64Attachment("a.txt", "text/plain", "harmless\r\n")));

    ClamAvEngine engine;
    QString error;
    int keptAlive = 0;
    ASSERT_TRUE(engine.load(
        folder.path(QStringLiteral("db")), [&] { ++keptAlive; }, &error))
        << error.toStdString();
    EXPECT_EQ(engine.signatureCount(), 1u);
    EXPECT_TRUE(engine.fingerprint().contains("signatures=1"));

    ClamAvVerdict verdict;
    ASSERT_TRUE(engine.scanFile(mail, &verdict, &error)) << error.toStdString();
    ASSERT_EQ(verdict.found.size(), 1u);
    // ClamAV marks signatures outside its official databases.
    EXPECT_EQ(verdict.found[0].signature, "Orsel.Test.EICAR.UNOFFICIAL");
    EXPECT_EQ(verdict.found[0].innerFile, "eicar.com");
    EXPECT_EQ(verdict.notFullyChecked, "");
    ASSERT_TRUE(engine.scanFile(clean, &verdict, &error));
    EXPECT_TRUE(verdict.found.empty());
    EXPECT_EQ(verdict.notFullyChecked, "");

    // The same message with EICAR as a definition: neither the raw nor the decoded check can
    // look inside the deflated member.
    DefinitionSet set;
    set.setCacheDirectory(QString());
    const QString defs = folder.write(QStringLiteral("def.dat"), eicar() + "\r\n");
    const Outcome raw = outcomeOf(set.check(defs, mail));
    const Outcome decoded = outcomeOf(checkDecodedParts(set, mail));
    ASSERT_TRUE(raw.result.ok);
    ASSERT_TRUE(decoded.result.ok);
    EXPECT_EQ(raw.hits, Hits());
    EXPECT_EQ(decoded.hits, Hits());
}

TEST(ClamAvEngine, ADatabaseThatCannotBeLoadedIsAnErrorNamingTheFolder)
{
    TestFolder folder;
    QDir().mkpath(folder.path(QStringLiteral("empty")));
    QDir().mkpath(folder.path(QStringLiteral("corrupt")));
    folder.write(QStringLiteral("corrupt/bad.ndb"), "not:a:valid:signature:line\n");
    for (const QString& name :
         {QStringLiteral("missing"), QStringLiteral("empty"), QStringLiteral("corrupt")}) {
        SCOPED_TRACE(name.toStdString());
        const QString path = folder.path(name);
        // Counting does not parse the signatures, so only a folder without any is refused.
        EXPECT_EQ(ClamAvEngine::hasDatabase(path), name == QStringLiteral("corrupt"));
        ClamAvEngine engine;
        QString error;
        EXPECT_FALSE(engine.load(path, {}, &error));
        EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot load the ClamAV database in ") + path +
                                     QStringLiteral(": ")))
            << error.toStdString();
        EXPECT_GT(error.size(),
                  QStringLiteral("Cannot load the ClamAV database in : ").size() + path.size());
    }
}

// Before, ClamAV stopped quietly at each of these and the message passed for clean. Now each is
// named; raising the size limit lets the engine find EICAR in the biggest.
TEST(ClamAvEngine, MessagesBeyondItsLimitsAreNotFullyCheckedUntilTheLimitsAreRaised)
{
    TestFolder folder;
    QDir().mkpath(folder.path(QStringLiteral("db")));
    folder.write(QStringLiteral("db/tiny.hdb"), eicarHashDatabase("Orsel.Test.EICAR"));
    const std::vector<OverLimitMessage> messages =
        writeOverLimitMessages(folder.path(QStringLiteral(".")));
    ASSERT_EQ(messages.size(), 3u) << "python3 could not build the zips";

    ClamAvEngine engine;
    QString error;
    ASSERT_TRUE(engine.load(folder.path(QStringLiteral("db")), {}, &error)) << qPrintable(error);
    for (const OverLimitMessage& message : messages) {
        SCOPED_TRACE(message.limit.toStdString());
        ClamAvVerdict verdict;
        ASSERT_TRUE(engine.scanFile(message.path, &verdict, &error)) << qPrintable(error);
        EXPECT_TRUE(verdict.found.empty());
        EXPECT_EQ(verdict.notFullyChecked.toStdString(),
                  "ClamAV stopped at one of its limits (Heuristics.Limits.Exceeded." +
                      message.limit.toStdString() + ")");
    }

    ClamAvEngine raised;
    raised.setLimits({200, std::nullopt, std::nullopt});
    ASSERT_TRUE(raised.load(folder.path(QStringLiteral("db")), {}, &error)) << qPrintable(error);
    ClamAvVerdict verdict;
    ASSERT_TRUE(raised.scanFile(messages.back().path, &verdict, &error)) << qPrintable(error);
    ASSERT_EQ(verdict.found.size(), 1u);
    EXPECT_EQ(verdict.found[0].signature, "Orsel.Test.EICAR.UNOFFICIAL");
    EXPECT_EQ(verdict.notFullyChecked, "");
    EXPECT_TRUE(raised.fingerprint().endsWith(";limits=reported"));
}

} // namespace
} // namespace scanner::test
