// Script lines and values of vorlane-shell: what each token becomes, and every way a line is
// refused with a reason instead of a guess.
#include "tests/automation/variantprinter.h"
#include "tools/vorlane-shell/scriptline.h"
#include "tools/vorlane-shell/scriptvalue.h"

#include <gtest/gtest.h>

using automation::Variant;
using namespace vorlaneshell;

namespace {

Variant value(QByteArrayView token)
{
    ShellFailure failure;
    const std::optional<Variant> parsed = parseScriptValue(token, &failure);
    EXPECT_TRUE(parsed) << token.toByteArray().constData() << ": " << failure.text.constData();
    return parsed.value_or(Variant());
}

int failureNumber(QByteArrayView token)
{
    ShellFailure failure;
    EXPECT_FALSE(parseScriptValue(token, &failure)) << token.toByteArray().constData();
    EXPECT_FALSE(failure.text.isEmpty());
    return failure.number;
}

TEST(ScriptValue, ReadsEachKindOfValue)
{
    EXPECT_EQ(value(R"("a \"b\" \\ \n")"), Variant::fromString("a \"b\" \\ \n"));
    EXPECT_EQ(value(R"("\u0000\u00e9\u00ff")"), Variant::fromString(QByteArray("\0\xe9\xff", 3)));
    EXPECT_EQ(value("\"\xc3\xa9\""), Variant::fromString("\xe9")); // é written as UTF-8
    EXPECT_EQ(value("true"), Variant::fromBool(true));
    EXPECT_EQ(value("FALSE"), Variant::fromBool(false));
    EXPECT_EQ(value("Empty"), Variant());
    EXPECT_EQ(value("-2147483648"), Variant::fromInt32(-2147483647 - 1));
    EXPECT_EQ(value("2147483648"), Variant::fromDouble(2147483648.0));
    EXPECT_EQ(value("-.5"), Variant::fromDouble(-0.5));
    EXPECT_EQ(value("1e3"), Variant::fromDouble(1000));
    EXPECT_EQ(value("i16:-32768"), Variant::fromInt16(-32768));
}

TEST(ScriptValue, RefusesWhatIsNotAValue)
{
    for (const char* token : {"\"\\u20ac\"", "\"\\ud83d\\ude00\"", "\"bad \\q escape\"", "abc",
                              "12abc", "+5", "1.2.3", "1e", ".", "-", "i16:", "i16:x", "0x10"})
        EXPECT_EQ(failureNumber(token), 5) << token;
    EXPECT_EQ(failureNumber("i16:32768"), 6);
    EXPECT_EQ(failureNumber("1e999"), 6);
}

ScriptCommand command(QByteArrayView line)
{
    const ScriptLine parsed = parseScriptLine(line);
    EXPECT_EQ(parsed.kind, ScriptLine::Kind::Command)
        << line.toByteArray().constData() << ": " << parsed.failure.text.constData();
    return parsed.command;
}

TEST(ScriptLine, ReadsCommandsWithTheirMembersAndValues)
{
    const ScriptCommand create = command("  CREATE Vorlanecontrol.Vorlane  ");
    EXPECT_EQ(create.verb, Verb::Create);
    EXPECT_EQ(create.progId, "Vorlanecontrol.Vorlane");

    const ScriptCommand put = command("put\tPOPHostname   \"mail host\"");
    EXPECT_EQ(put.verb, Verb::Put);
    EXPECT_EQ(put.member.name, "POPHostname");
    EXPECT_FALSE(put.member.dispid);
    EXPECT_EQ(put.values, QList<Variant>{Variant::fromString("mail host")});

    const ScriptCommand call = command(R"(call #0x60030024 i16:1 "a \" b" null)");
    EXPECT_EQ(call.verb, Verb::Call);
    EXPECT_EQ(call.member.dispid, 0x60030024);
    EXPECT_EQ(call.values, (QList<Variant>{Variant::fromInt16(1), Variant::fromString("a \" b"),
                                           Variant::null()}));

    EXPECT_EQ(command("get #0xFFFFFFFC").member.dispid, -4);
    EXPECT_EQ(command("get #1745027095").member.dispid, 0x68030017);
    EXPECT_EQ(command("release").verb, Verb::Release);
}

TEST(ScriptLine, RefusesMalformedLinesWithAReason)
{
    for (const char* line :
         {"frobnicate", "create", "create a b", "release now", "get", "put", "get #", "get #0x",
          "get #0x1FFFFFFFF", "get #abc", "get #+5", R"(put X "open)", R"(put X "a"b)", "put X bad",
          R"(call X "\u0100")"}) {
        const ScriptLine parsed = parseScriptLine(line);
        EXPECT_EQ(parsed.kind, ScriptLine::Kind::Invalid) << line;
        EXPECT_EQ(parsed.failure.number, 5) << line;
        EXPECT_FALSE(parsed.failure.text.isEmpty()) << line;
    }
}

} // namespace
