// The shell's JSON output: byte strings survive a JSON reader unchanged, and each line shape is
// written as documented.
#include "tools/vorlane-shell/jsontext.h"
#include "tools/vorlane-shell/resultline.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using automation::Variant;
using namespace vorlaneshell;

namespace {

TEST(JsonText, EveryByteReadsBackAsItsCodePoint)
{
    QByteArray all;
    for (int byte = 0; byte < 256; ++byte)
        all += char(byte);
    const QByteArray json = jsonString(all);
    for (const char c : json)
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << int(c); // plain ASCII whatever the bytes
    const QJsonDocument document = QJsonDocument::fromJson("[" + json + "]");
    ASSERT_TRUE(document.isArray());
    const QString text = document.array().at(0).toString();
    ASSERT_EQ(text.size(), 256);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(text.at(i).unicode(), i);
    EXPECT_EQ(jsonString("a\"b\\c\n"), R"("a\"b\\c\u000a")");
}

TEST(ResultLine, WritesTheDocumentedShapes)
{
    const Variant args[] = {Variant::fromInt32(2), Variant::fromInt32(3), Variant::fromInt16(67)};
    EXPECT_EQ(successLine(std::nullopt), R"({"ok":true})");
    EXPECT_EQ(successLine(Variant::fromInt32(3)), R"({"ok":true,"type":"Long","value":3})");
    EXPECT_EQ(successLine(Variant(), args),
              R"({"ok":true,"type":"Empty","value":null,"args":[2,3,67]})");
    EXPECT_EQ(successLine(std::nullopt, args), R"({"ok":true,"args":[2,3,67]})");
    // Values JSON has no plain form for.
    EXPECT_EQ(successLine(Variant::fromDouble(qInf())),
              R"({"ok":true,"type":"Double","value":"Infinity"})");
    EXPECT_EQ(successLine(Variant::fromDate(45292.5)),
              R"({"ok":true,"type":"Date","value":"2024-01-01 12:00:00"})");
    EXPECT_EQ(failureLine(ShellFailure::of(automation::RuntimeError::TypeMismatch)),
              R"({"ok":false,"number":13,"error":"Type mismatch"})");
    EXPECT_EQ(eventLine("MsgReadStatus", args), R"({"event":"MsgReadStatus","args":[2,3,67]})");
}

} // namespace
