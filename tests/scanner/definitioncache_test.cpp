// The compiled matcher between messages and between runs: reused while def.dat is unchanged,
// rebuilt when it changes, loaded from the disk cache by a fresh set, and never trusted blindly.
#include "definitioncheck_testfiles.h"
#include "scanner/definitioncheck/matchercache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <limits>

namespace scanner::test {
namespace {

using Source = DefinitionSet::MatcherSource;

class DefinitionCache : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_definitions = m_folder.write(QStringLiteral("def.dat"), "worm\r\ntrojan\r\n");
        m_message = m_folder.write(QStringLiteral("msg1.txt"), "a WORM\r\nno trojan here\r\n");
    }

    Outcome check(DefinitionSet& set) { return checkWithSet(set, m_definitions, m_message); }

    QString cacheFolder() const { return m_folder.path(QStringLiteral("cache")); }

    QString cacheFile() const
    {
        const QStringList entries = QDir(cacheFolder()).entryList(QDir::Files);
        return entries.size() == 1 ? cacheFolder() + QLatin1Char('/') + entries.first() : QString();
    }

    const Hits m_expected{{"worm", "a WORM"}, {"trojan", "no trojan here"}};
    TestFolder m_folder;
    QString m_definitions;
    QString m_message;
};

TEST_F(DefinitionCache, UnchangedDefinitionsAreReusedAndAFreshSetLoadsFromDisk)
{
    DefinitionSet first;
    first.setCacheDirectory(cacheFolder());
    EXPECT_EQ(first.lastMatcherSource(), Source::None);
    EXPECT_EQ(check(first).hits, m_expected);
    EXPECT_EQ(first.lastMatcherSource(), Source::Compiled);
    EXPECT_EQ(check(first).hits, m_expected);
    EXPECT_EQ(first.lastMatcherSource(), Source::Reused);
    ASSERT_FALSE(cacheFile().isEmpty());

    DefinitionSet second;
    second.setCacheDirectory(cacheFolder());
    EXPECT_EQ(check(second).hits, m_expected);
    EXPECT_EQ(second.lastMatcherSource(), Source::Cache);
}

TEST_F(DefinitionCache, AChangedDefinitionFileTakesEffectAtTheNextCheck)
{
    DefinitionSet set;
    set.setCacheDirectory(cacheFolder());
    EXPECT_EQ(check(set).hits, m_expected);

    m_folder.write(QStringLiteral("def.dat"), "here\n");
    EXPECT_EQ(check(set).hits, (Hits{{"here", "no trojan here"}}));
    EXPECT_EQ(set.lastMatcherSource(), Source::Compiled);

    // Going back finds the first content's entry again.
    m_folder.write(QStringLiteral("def.dat"), "worm\r\ntrojan\r\n");
    EXPECT_EQ(check(set).hits, m_expected);
    EXPECT_EQ(set.lastMatcherSource(), Source::Cache);
}

TEST_F(DefinitionCache, DamagedEntriesAreIgnoredAndReplaced)
{
    DefinitionSet writer;
    writer.setCacheDirectory(cacheFolder());
    check(writer);
    const QString entry = cacheFile();
    ASSERT_FALSE(entry.isEmpty());
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();

    const QByteArray garbage(4000, '\x5A');
    const QByteArray damaged[] = {
        good.left(good.size() / 2),                           // torn write
        QByteArray(good).replace(good.size() - 9, 1, "\x01"), // bit rot in the database
        QByteArray(),                                         // empty file
        // A valid checksum over bytes that are no database at all.
        good.left(8) + QCryptographicHash::hash(garbage, QCryptographicHash::Blake2b_256) + garbage,
    };
    for (const QByteArray& bytes : damaged) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();

        DefinitionSet reader;
        reader.setCacheDirectory(cacheFolder());
        const Outcome out = check(reader);
        EXPECT_TRUE(out.result.ok);
        EXPECT_EQ(out.hits, m_expected);
        EXPECT_EQ(reader.lastMatcherSource(), Source::Compiled);

        DefinitionSet afterRepair;
        afterRepair.setCacheDirectory(cacheFolder());
        EXPECT_EQ(check(afterRepair).hits, m_expected);
        EXPECT_EQ(afterRepair.lastMatcherSource(), Source::Cache);
    }
}

TEST_F(DefinitionCache, HitsOutliveTheDefinitionsALaterCheckReplaced)
{
    DefinitionSet set;
    set.setCacheDirectory(cacheFolder());
    const QString otherDefinitions = m_folder.write(QStringLiteral("other.dat"), "here\r\n");
    const CheckResult first = set.check(m_definitions, m_message);
    // Replaces the set's definitions, which the first check's matcher and lines came from.
    const Outcome second = checkWithSet(set, otherDefinitions, m_message);
    EXPECT_TRUE(first.ok);
    EXPECT_EQ(outcomeOf(first).hits, m_expected);
    EXPECT_EQ(second.hits, (Hits{{"here", "no trojan here"}}));
}

TEST_F(DefinitionCache, EntriesAreKeptApartByHowTheDefinitionsWereSplit)
{
    // With sampling the compiled part holds only the short definition; a set that does not
    // sample must not take that part for the whole.
    m_folder.write(QStringLiteral("def.dat"), "worm\r\nno trojan here\r\n");
    const Hits expected{{"worm", "a WORM"}, {"no trojan here", "no trojan here"}};
    DefinitionSet sampling;
    sampling.setCacheDirectory(cacheFolder());
    sampling.setSamplingThreshold(1);
    EXPECT_EQ(check(sampling).hits, expected);

    DefinitionSet literalOnly;
    literalOnly.setCacheDirectory(cacheFolder());
    literalOnly.setSamplingThreshold(std::numeric_limits<qsizetype>::max());
    EXPECT_EQ(check(literalOnly).hits, expected);
    EXPECT_EQ(literalOnly.lastMatcherSource(), Source::Compiled);
}

TEST_F(DefinitionCache, AnUnusableCacheFolderOnlyCostsTime)
{
    const QString blocker = m_folder.write(QStringLiteral("blocker"), "a file, not a folder");
    DefinitionSet set;
    set.setCacheDirectory(blocker + QStringLiteral("/Orsel"));
    const Outcome out = check(set);
    EXPECT_TRUE(out.result.ok);
    EXPECT_EQ(out.hits, m_expected);
    EXPECT_EQ(set.lastMatcherSource(), Source::Compiled);
}

TEST_F(DefinitionCache, DefaultFolderIsOrselUnderXdgCacheHome)
{
    const QString home = m_folder.path(QStringLiteral("xdg-cache"));
    const QByteArray saved = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", home.toLocal8Bit());
    DefinitionSet set;
    qputenv("XDG_CACHE_HOME", saved);

    EXPECT_EQ(set.cacheDirectory(), home + QStringLiteral("/Orsel"));
    EXPECT_EQ(check(set).hits, m_expected);
    EXPECT_EQ(QDir(home + QStringLiteral("/Orsel")).entryList(QDir::Files).size(), 1);
}

} // namespace
} // namespace scanner::test
