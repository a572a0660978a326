// The match rule, line rules, hit order and failures, checked on the plain reference and on the
// fast check alike: the reference must be right for the randomized comparison to mean anything.
#include "definitioncheck_testfiles.h"

#include <gtest/gtest.h>

namespace scanner::test {
namespace {

enum class Checker { Plain, Fast };

void PrintTo(Checker checker, std::ostream* out)
{
    *out << (checker == Checker::Plain ? "plain" : "fast");
}

class DefinitionCheck : public ::testing::TestWithParam<Checker> {
protected:
    Outcome check(const QByteArray& definitions, const QByteArray& message)
    {
        return checkFiles(m_folder.write(QStringLiteral("def.dat"), definitions),
                          m_folder.write(QStringLiteral("msg1.txt"), message));
    }

    Outcome checkFiles(const QString& definitionPath, const QString& messagePath)
    {
        if (GetParam() == Checker::Plain) {
            return checkWithPlain(definitionPath, messagePath);
        }
        DefinitionSet set;
        set.setCacheDirectory(QString());
        set.setReadBlockSize(5); // small, so that matches and line ends straddle blocks
        return checkWithSet(set, definitionPath, messagePath);
    }

    TestFolder m_folder;
};

TEST_P(DefinitionCheck, DefinitionLinesEndAtCrLfLoneCrAndLoneLf)
{
    const Outcome out = check("alpha\r\nbeta\rgamma\ndelta\r\n", "delta gamma beta alpha");
    ASSERT_TRUE(out.result.ok);
    const std::string line = "delta gamma beta alpha";
    EXPECT_EQ(out.hits, (Hits{{"alpha", line}, {"beta", line}, {"gamma", line}, {"delta", line}}));
}

TEST_P(DefinitionCheck, MessageLinesEndAtCrLfAndLoneCrButNotAtLoneLf)
{
    const Outcome out = check("two\r\nfour", "one\ntwo\r\nthree\rfour\n\r\nfive");
    ASSERT_TRUE(out.result.ok);
    EXPECT_EQ(out.hits, (Hits{{"two", "one\ntwo"}, {"four", "four\n"}}));
}

TEST_P(DefinitionCheck, NoMatchAcrossAMessageLineEnd)
{
    const Outcome out = check("foobar", "foo\r\nbar\rfoo\rbar\r\nfoo\nbar\r\nfoo");
    ASSERT_TRUE(out.result.ok);
    EXPECT_TRUE(out.hits.empty());
}

TEST_P(DefinitionCheck, AsciiLettersFoldOtherBytesCompareExactly)
{
    const Outcome out = check("virus\r\n\xE4rger", "VIRUS\r\nVirus alert\r\nviruses\r\nvi rus\r\n"
                                                   "\xC4RGER\r\n\xE4RGER\r\n");
    ASSERT_TRUE(out.result.ok);
    EXPECT_EQ(out.hits, (Hits{{"virus", "VIRUS"},
                              {"virus", "Virus alert"},
                              {"virus", "viruses"},
                              {"\xE4rger", "\xE4RGER"}}));
}

TEST_P(DefinitionCheck, NulBytesAreOrdinaryBytesEvenAtTheStart)
{
    const QByteArray definitions("\0ab\na\0B", 7);
    const QByteArray message("x\0AB\r\nA\0b\r\nab\r\n", 15);
    const Outcome out = check(definitions, message);
    ASSERT_TRUE(out.result.ok) << out.result.error.toStdString();
    EXPECT_EQ(out.hits, (Hits{{std::string("\0ab", 3), std::string("x\0AB", 4)},
                              {std::string("a\0B", 3), std::string("A\0b", 3)}}));
}

TEST_P(DefinitionCheck, BlanksAtEitherEndBelongToTheDefinition)
{
    const Outcome out =
        check("evil \r\n\tbad", "evil\r\nevil thing\r\nevil\tthing\r\nbad\r\nso\tbad");
    ASSERT_TRUE(out.result.ok);
    EXPECT_EQ(out.hits, (Hits{{"evil ", "evil thing"}, {"\tbad", "so\tbad"}}));
}

TEST_P(DefinitionCheck, EmptyDefinitionLinesAreSkipped)
{
    const Outcome out = check("\r\n\n\rabc\r\n\r\n", "xyz\r\nabc\r\n\r\n");
    ASSERT_TRUE(out.result.ok);
    EXPECT_EQ(out.hits, (Hits{{"abc", "abc"}}));

    const Outcome none = check("\r\n\r\n", "anything\r\n");
    EXPECT_TRUE(none.result.ok);
    EXPECT_TRUE(none.hits.empty());
}

TEST_P(DefinitionCheck, DuplicateDefinitionsAreEachReported)
{
    const Outcome out = check("abc\nABC\nabc", "xABCx\r\nnone\r\nabc");
    ASSERT_TRUE(out.result.ok);
    EXPECT_EQ(out.hits, (Hits{{"abc", "xABCx"},
                              {"abc", "abc"},
                              {"ABC", "xABCx"},
                              {"ABC", "abc"},
                              {"abc", "xABCx"},
                              {"abc", "abc"}}));
}

TEST_P(DefinitionCheck, HitsGroupedByDefinitionThenMessageLine)
{
    // Lines 3 and 7 hold the first definition, line 5 the second; line 6 holds both.
    const Outcome out =
        check("first\r\nsecond\r\n", "l1\r\nl2\r\nfirst first FIRST\r\nl4\r\nsecond\r\n"
                                     "first and second\r\nl7 first\r\n");
    ASSERT_TRUE(out.result.ok);
    EXPECT_EQ(out.hits, (Hits{{"first", "first first FIRST"},
                              {"first", "first and second"},
                              {"first", "l7 first"},
                              {"second", "second"},
                              {"second", "first and second"}}));
}

TEST_P(DefinitionCheck, LongLinesAreReportedWhole)
{
    const QByteArray head(100000, 'x');
    const QByteArray tail(150000, 'y');
    const QByteArray longLine = head + "needle" + tail;
    const Outcome out = check("NEEDLE", "start\r\n" + longLine + "\r\n\nneedle\r");
    ASSERT_TRUE(out.result.ok);
    EXPECT_EQ(out.hits, (Hits{{"NEEDLE", longLine.toStdString()}, {"NEEDLE", "\nneedle"}}));
}

// Definition files as editors and careless hands leave them.
TEST_P(DefinitionCheck, DefinitionFilesAsPeopleWriteThem)
{
    QByteArray huge(20000, 'q');
    for (qsizetype i = 0; i < huge.size(); i += 7) {
        huge[i] = char('a' + i % 26);
    }
    const struct {
        const char* name;
        QByteArray definitions;
        QByteArray message;
        Hits hits;
    } cases[] = {
        // Too long for Vectorscan: the short definition beside it must still be found.
        {"line over 16,000 bytes",
         "short\r\n" + huge + "\r\n",
         "a short one\r\nx" + huge.toUpper() + "x\r\n",
         {{"short", "a short one"},
          {huge.toStdString(), ("x" + huge.toUpper() + "x").toStdString()}}},
        {"byte-order mark",
         "\xEF\xBB\xBFvirus\r\n",
         "a virus\r\n\xEF\xBB\xBFvirus\r\n",
         {{"virus", "a virus"}, {"virus", "\xEF\xBB\xBFvirus"}}},
        // The mark only counts at the very start of the file.
        {"mark inside",
         "abc\r\n\xEF\xBB\xBF",
         "abc\r\nx\xEF\xBB\xBFx\r\n",
         {{"abc", "abc"}, {"\xEF\xBB\xBF", "x\xEF\xBB\xBFx"}}},
        {"blanks and tabs only",
         " \r\n\t\t\r\n \t \nreal\r\n",
         "all words\r\n real \r\n",
         {{"real", " real "}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome out = check(c.definitions, c.message);
        ASSERT_TRUE(out.result.ok) << out.result.error.toStdString();
        EXPECT_EQ(out.hits, c.hits);
    }
}

TEST(DefinitionCheckBlankLines, CountedForTheScanner)
{
    TestFolder folder;
    DefinitionSet set;
    set.setCacheDirectory(QString());
    checkWithSet(set, folder.write(QStringLiteral("def.dat"), " \r\n\t\nx\r\n\r\n"),
                 folder.write(QStringLiteral("msg1.txt"), "y"));
    EXPECT_EQ(set.blankLinesSkipped(), 2);
}

TEST_P(DefinitionCheck, MissingOrUnreadableFilesGiveAnErrorNamingTheFile)
{
    const QString definitions = m_folder.write(QStringLiteral("def.dat"), "abc");
    const QString message = m_folder.write(QStringLiteral("msg1.txt"), "abc");
    const QString missing = m_folder.path(QStringLiteral("missing.dat"));

    Outcome out = checkFiles(missing, message);
    EXPECT_FALSE(out.result.ok);
    EXPECT_EQ(out.result.error, QStringLiteral("Cannot open definition file %1: No such file or "
                                               "directory")
                                    .arg(missing));

    out = checkFiles(definitions, missing);
    EXPECT_FALSE(out.result.ok);
    EXPECT_TRUE(out.result.error.startsWith(QStringLiteral("Cannot open message file ") + missing))
        << out.result.error.toStdString();

    const QString empty = m_folder.write(QStringLiteral("empty.dat"), "");
    out = checkFiles(empty, missing); // noticed even when there is nothing to look for
    EXPECT_FALSE(out.result.ok);
    EXPECT_TRUE(out.result.error.startsWith(QStringLiteral("Cannot open message file ") + missing));

    out = checkFiles(definitions, m_folder.path(QString())); // a folder, not a file
    EXPECT_FALSE(out.result.ok);
    EXPECT_TRUE(out.result.error.contains(QStringLiteral("message file")));
    EXPECT_TRUE(out.hits.empty());
}

INSTANTIATE_TEST_SUITE_P(, DefinitionCheck, ::testing::Values(Checker::Plain, Checker::Fast),
                         [](const auto& info) {
                             return info.param == Checker::Plain ? "Plain" : "Fast";
                         });

} // namespace
} // namespace scanner::test
