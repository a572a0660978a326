// Shared by the definition check tests.
#include "definitioncheck_testfiles.h"

#include "tests/reference/plaincheck.h"

#include <QFile>
#include <gtest/gtest.h>

namespace scanner::test {
namespace {

// No test may read or fill the user's own cache: the default cache folder lives under
// XDG_CACHE_HOME, which points into a throwaway folder for the whole test program.
class CacheHomeEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CACHE_HOME", m_home->path().toLocal8Bit());
    }
    void TearDown() override { m_home.reset(); }

private:
    std::unique_ptr<QTemporaryDir> m_home;
};

[[maybe_unused]] const auto* const cacheHome =
    ::testing::AddGlobalTestEnvironment(new CacheHomeEnvironment);

} // namespace

Outcome outcomeOf(CheckResult result)
{
    Outcome outcome;
    for (const Hit& hit : result.hits) {
        outcome.hits.emplace_back(hit.definition.toStdString(), hit.messageLine.toStdString());
    }
    outcome.result = std::move(result);
    return outcome;
}

QString TestFolder::write(const QString& name, const QByteArray& content) const
{
    const QString filePath = path(name);
    QFile file(filePath);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << filePath.toStdString();
    EXPECT_EQ(file.write(content), content.size());
    return filePath;
}

Outcome checkWithPlain(const QString& definitionPath, const QString& messagePath)
{
    return outcomeOf(checkPlain(definitionPath, messagePath));
}

Outcome checkWithSet(DefinitionSet& set, const QString& definitionPath, const QString& messagePath)
{
    return outcomeOf(set.check(definitionPath, messagePath));
}

} // namespace scanner::test
