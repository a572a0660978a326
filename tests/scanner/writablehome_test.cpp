// Where an installed scanner saves messages and which def.dat it reads: the program folder when
// the user may write there, the user's data home otherwise, with a def.dat there winning.
#include "scanner/writablehome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t modeOf(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

void writeFile(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << qPrintable(path);
    file.write("worm\n");
}

enum class HomeBefore { Missing, MissingDataHome, Open0755, WithDefDat, WithDefDatFolder };

struct PlacesCase {
    const char* name;
    bool writable;
    HomeBefore before;
    bool expectHomeUsed;
    bool expectOwnDefDat;
    mode_t expectHomeMode; // 0: the folder must not exist afterwards
};

void PrintTo(const PlacesCase& c, std::ostream* out)
{
    *out << c.name;
}

class WritableHome : public ::testing::TestWithParam<PlacesCase> {
protected:
    QString program() const { return m_root.path() + QStringLiteral("/usr/lib/orsel"); }
    QString dataHome() const { return m_root.path() + QStringLiteral("/home/.local/share"); }
    QString home() const { return dataHome() + QStringLiteral("/Orsel"); }

    void prepare(HomeBefore before)
    {
        ASSERT_TRUE(QDir().mkpath(program()));
        if (before == HomeBefore::MissingDataHome) {
            return;
        }
        ASSERT_TRUE(QDir().mkpath(dataHome()));
        if (before == HomeBefore::Missing) {
            return;
        }
        ASSERT_EQ(::mkdir(QFile::encodeName(home()).constData(), 0755), 0);
        ::chmod(QFile::encodeName(home()).constData(), 0755);
        if (before == HomeBefore::WithDefDat) {
            writeFile(home() + QStringLiteral("/def.dat"));
        } else if (before == HomeBefore::WithDefDatFolder) {
            ASSERT_TRUE(QDir().mkpath(home() + QStringLiteral("/def.dat")));
        }
    }

    QTemporaryDir m_root;
};

TEST_P(WritableHome, DecidesFoldersAndCreatesThePrivateHomeOnlyWhenUsed)
{
    const PlacesCase& c = GetParam();
    const mode_t oldMask = ::umask(022);
    prepare(c.before);
    const ScanPlaces places = scanPlacesFor(program(), c.writable, dataHome());
    ::umask(oldMask);

    EXPECT_EQ(places.messageFolder.displayPath(), c.expectHomeUsed ? home() : program());
    EXPECT_EQ(places.definitionFile(),
              (c.expectOwnDefDat ? home() : program()) + QStringLiteral("/def.dat"));
    EXPECT_EQ(modeOf(home()), c.expectHomeMode);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WritableHome,
    ::testing::Values(
        PlacesCase{"WritableFolderChangesNothing", true, HomeBefore::WithDefDat, false, false,
                   0755},
        PlacesCase{"WritableFolderCreatesNoHome", true, HomeBefore::Missing, false, false, 0},
        PlacesCase{"MissingHomeIsCreatedPrivate", false, HomeBefore::Missing, true, false, 0700},
        PlacesCase{"MissingDataHomeToo", false, HomeBefore::MissingDataHome, true, false, 0700},
        PlacesCase{"ExistingHomeKeepsItsMode", false, HomeBefore::Open0755, true, false, 0755},
        PlacesCase{"OwnDefDatWins", false, HomeBefore::WithDefDat, true, true, 0755},
        PlacesCase{"FolderNamedDefDatIsNoDefinitionFile", false, HomeBefore::WithDefDatFolder, true,
                   false, 0755}),
    [](const ::testing::TestParamInfo<PlacesCase>& info) { return std::string(info.param.name); });

class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    ~ScopedEnvironment() { m_had ? qputenv(m_name, m_old) : qunsetenv(m_name); }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

TEST(UserDataHome, UsesAnAbsoluteXdgDataHomeAndFallsBackToTheHomeFolder)
{
    const ScopedEnvironment homeVariable("HOME", "/home/ada");
    const struct {
        QByteArray configured;
        QString expected;
    } cases[] = {
        {QByteArray(), QStringLiteral("/home/ada/.local/share")},
        {QByteArray(""), QStringLiteral("/home/ada/.local/share")},
        {QByteArray("relative/share"), QStringLiteral("/home/ada/.local/share")},
        {QByteArray("/data/ada/"), QStringLiteral("/data/ada")},
    };
    for (const auto& c : cases) {
        const ScopedEnvironment data("XDG_DATA_HOME", c.configured);
        EXPECT_EQ(userDataHome(), c.expected) << c.configured.constData();
    }
}

TEST(ScanPlacesProbe, AWritableProgramFolderServesAsBefore)
{
    QTemporaryDir root;
    const ScopedEnvironment data("XDG_DATA_HOME", QFile::encodeName(root.path() + "/share"));
    const ScanPlaces places = scanPlacesFor(root.path());
    EXPECT_EQ(places.messageFolder.displayPath(), root.path());
    EXPECT_EQ(places.definitionFile(), root.path() + QStringLiteral("/def.dat"));
    EXPECT_FALSE(QFileInfo::exists(root.path() + QStringLiteral("/share")));
}

TEST(ScanPlacesProbe, AReadOnlyProgramFolderSendsMessagesHome)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may write to any folder, so none reads as read-only";
    }
    QTemporaryDir root;
    const QString program = root.path() + QStringLiteral("/program");
    ASSERT_TRUE(QDir().mkpath(program));
    ASSERT_EQ(::chmod(QFile::encodeName(program).constData(), 0555), 0);
    const ScopedEnvironment data("XDG_DATA_HOME", QFile::encodeName(root.path() + "/share"));
    const ScanPlaces places = scanPlacesFor(program);
    EXPECT_EQ(places.messageFolder.displayPath(), root.path() + QStringLiteral("/share/Orsel"));
    EXPECT_EQ(modeOf(places.messageFolder.displayPath()), mode_t(0700));
    ::chmod(QFile::encodeName(program).constData(), 0755);
}

} // namespace
