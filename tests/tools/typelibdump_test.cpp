// typelib-dump: the built library's type information, line for line as documented, and a clear
// failure for a library that has none.
#include "tests/support/filebytes.h"
#include "tests/tools/toolrun.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class TypelibDump : public ::testing::Test {
protected:
    ToolRun dump(const QString& library)
    {
        return runTool(QStringLiteral(TYPELIB_DUMP_PATH), {library}, m_home.path());
    }

    QTemporaryDir m_home;
};

QByteArray golden()
{
    return fileBytes(QStringLiteral(TYPELIB_GOLDEN_PATH));
}

// The expected text holds every member of _Vorlane (each get, each put, each method with its
// arguments), __Vorlane's MsgReadStatus and both classes, for example
//     0x68030017 propget Status -> Integer "Returns a representation of ..."
//     0x60030024 method SetCurrentMsg(byref Integer intMsgNumber) "Sets/Returns ..."
TEST_F(TypelibDump, PrintsTheLibrarysInterfacesAndClasses)
{
    const ToolRun run = dump(QStringLiteral(VRLN401_PATH));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(run.err.isEmpty());
    const QList<QByteArray> expected = golden().split('\n');
    const QList<QByteArray> actual = run.out.split('\n');
    ASSERT_EQ(actual.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i)
        EXPECT_EQ(actual.at(i).toStdString(), expected.at(i).toStdString()) << "line " << i + 1;
}

TEST_F(TypelibDump, FailsWithStatus2WithoutTypeInformation)
{
    for (const QString& library :
         {QStringLiteral(FAILING_LIBRARY_PATH), m_home.path() + QStringLiteral("/nothere.so"),
          QStringLiteral(TYPELIB_GOLDEN_PATH)}) {
        const ToolRun run = dump(library);
        EXPECT_EQ(run.exitCode, 2) << library.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_FALSE(run.err.isEmpty());
    }
    EXPECT_TRUE(dump(QStringLiteral(FAILING_LIBRARY_PATH)).err.contains("AutomationTypeLibrary"));
}

} // namespace
