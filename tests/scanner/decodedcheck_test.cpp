// The decoded check on mail built here: each encoding, nesting, attached messages, the hit order
// and texts, and malformed MIME that must neither crash nor hang.
#include "definitioncheck_testfiles.h"
#include "scanner/definitioncheck/decodedcheck.h"
#include "tests/support/testmail.h"

#include <gtest/gtest.h>

namespace scanner::test {
namespace {

using namespace testmail;

struct Decoded {
    Outcome raw;
    Outcome decoded;
};

// Small read blocks by default, so that decoded matches straddle them.
Decoded checkBoth(const QByteArray& definitions, const QByteArray& message, qsizetype blockSize = 7)
{
    TestFolder folder;
    DefinitionSet set;
    set.setCacheDirectory(QString());
    set.setReadBlockSize(blockSize);
    const QString defs = folder.write(QStringLiteral("def.dat"), definitions);
    const QString msg = folder.write(QStringLiteral("msg1.txt"), message);
    Decoded out;
    out.raw = checkWithSet(set, defs, msg);
    out.decoded = outcomeOf(checkDecodedParts(set, msg));
    return out;
}

struct Case {
    const char* name;
    QByteArray message;
    Hits decoded;         // the raw check finds none of them
    const char* unread{}; // what notFullyChecked ends with; none when null
};

const QByteArray kText = "first line\r\nhere is an evil payload, hidden\r\nlast line\r\n";

std::vector<Case> encodingCases()
{
    const QByteArray plainText = part({"Content-Type: text/plain"}, "nothing here\r\n");
    return {
        {"base64 attachment named by its file name",
         message("b64", multipart("mixed", "b1",
                                  {plainText, base64Attachment("notes.txt", "text/plain", kText)})),
         {{"evil payload", "notes.txt: here is an evil payload, hidden"}}},
        {"quoted-printable soft line breaks split the definition",
         message("qp", part({"Content-Type: text/plain; charset=us-ascii",
                             "Content-Transfer-Encoding: quoted-printable"},
                            quotedPrintable(kText, 9))),
         {{"evil payload", "text/plain: here is an evil payload, hidden"}}},
        {"uuencoded part",
         message("uu", multipart("mixed", "b2",
                                 {plainText, part({"Content-Type: application/octet-stream",
                                                   "Content-Transfer-Encoding: x-uuencode"},
                                                  uuencode("x.bin", kText))})),
         {{"evil payload", "application/octet-stream: here is an evil payload, hidden"}}},
        {"nested multiparts and an attached message",
         message("nest",
                 multipart("mixed", "outer",
                           {multipart("alternative", "inner",
                                      {plainText, base64Attachment("a.txt", "text/plain",
                                                                   "EVIL PAYLOAD one\r\n")}),
                            attachedMessage(message(
                                "fwd", multipart("mixed", "fwd",
                                                 {base64Attachment("b.txt", "text/plain",
                                                                   "two: evil payload\r\n")})))})),
         {{"evil payload", "a.txt: EVIL PAYLOAD one"},
          {"evil payload", "b.txt: two: evil payload"}}},
        {"an unencoded part is left to the raw check",
         message("7bit", part({"Content-Type: text/plain", "Content-Transfer-Encoding: 7bit"},
                              "evil pay\r\nload\r\n")),
         {}},
    };
}

TEST(DecodedCheck, EveryEncodingAndNestingIsDecodedAndCheckedLikeTheRawFile)
{
    for (const Case& c : encodingCases()) {
        SCOPED_TRACE(c.name);
        const Decoded out = checkBoth("evil payload\r\n", c.message);
        ASSERT_TRUE(out.raw.result.ok);
        EXPECT_TRUE(out.raw.hits.empty());
        ASSERT_TRUE(out.decoded.result.ok) << out.decoded.result.error.toStdString();
        EXPECT_EQ(out.decoded.hits, c.decoded);
    }
}

TEST(DecodedCheck, HitsComeByDefinitionThenPartThenLineWithTheDecodedLineRules)
{
    // Decoded text keeps the line rule of saved files: a lone LF stays inside a line.
    const QByteArray first = "beta 1\r\nalpha 1\r\nalpha 2\nstill line two\r\n";
    const QByteArray second = "ALPHA 3\rbeta 2";
    const QByteArray mail =
        message("order", multipart("mixed", "b",
                                   {base64Attachment("one.txt", "text/plain", first),
                                    base64Attachment("two.txt", "text/plain", second)}));
    const Decoded out = checkBoth("alpha\r\nbeta\r\nalpha\r\n", mail);
    ASSERT_TRUE(out.decoded.result.ok);
    const Hits alpha = {{"alpha", "one.txt: alpha 1"},
                        {"alpha", "one.txt: alpha 2\nstill line two"},
                        {"alpha", "two.txt: ALPHA 3"}};
    Hits expected = alpha;
    expected.insert(expected.end(), {{"beta", "one.txt: beta 1"}, {"beta", "two.txt: beta 2"}});
    expected.insert(expected.end(), alpha.begin(), alpha.end()); // duplicates count again
    EXPECT_EQ(out.decoded.hits, expected);
}

TEST(DecodedCheck, ALargeAttachmentWithoutLineEndsGivesItsHitWithTheLineCut)
{
    // 8 MiB of LF-only text is one line under the CR rule; its hit text must not be all of it.
    QByteArray big(8 << 20, 'a');
    for (qsizetype i = 99; i < big.size(); i += 100) {
        big[i] = '\n';
    }
    big.replace(big.size() - 40, 12, "evil payload");
    const Decoded out = checkBoth(
        "evil payload", message("big", base64Attachment("big.txt", "text/plain", big)), 1 << 20);
    ASSERT_TRUE(out.decoded.result.ok);
    ASSERT_EQ(out.decoded.hits.size(), 1u);
    EXPECT_EQ(out.decoded.hits[0].second, "big.txt: " + big.left(kDecodedLineLimit).toStdString());
}

std::vector<Case> malformedCases()
{
    const QByteArray attachment = base64Attachment("m.txt", "text/plain", "an evil payload\r\n");
    QByteArray deep = attachment;
    for (int level = 0; level < 1000; ++level) {
        deep = multipart("mixed", "level" + QByteArray::number(level), {deep});
    }
    QByteArray broken = base64Lines("line one\r\nan evil payload\r\n");
    broken.insert(12, "!!*&\r\n=%%");
    broken.chop(6);
    // Beyond GMime's nesting limits its parser gives up on what lies below: a part no check sees.
    QByteArray deeper = deep;
    for (int level = 1000; level < 1100; ++level) {
        deeper = multipart("mixed", "level" + QByteArray::number(level), {deeper});
    }
    QByteArray forwarded = message("inner", attachment);
    for (int level = 0; level < 520; ++level) {
        forwarded = message("fwd", attachedMessage(forwarded));
    }
    return {
        {"no closing boundary",
         message("open", multipart("mixed", "b", {attachment}, false)),
         {{"evil payload", "m.txt: an evil payload"}}},
        {"broken base64: what decodes is checked",
         message("broken",
                 part({"Content-Type: text/plain", "Content-Transfer-Encoding: base64"}, broken)),
         {}},
        {"1,000 nested multiparts",
         message("deep", deep),
         {{"evil payload", "m.txt: an evil payload"}}},
        {"a header of 1 MB",
         "X-Long: " + QByteArray(1 << 20, 'h') + "\r\n" +
             message("long", multipart("mixed", "b", {attachment})),
         {{"evil payload", "m.txt: an evil payload"}}},
        {"1,100 nested multiparts", message("deeper", deeper), {}, "nested too deep to be read"},
        {"520 nested attached messages", forwarded, {}, "nested too deep to be read"},
        {"a multipart without a boundary",
         "Subject: nb\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed\r\n\r\n--x\r\n" +
             attachment + "\r\n--x--\r\n",
         {},
         "a multipart has no boundary"},
        // A first line that is no header could hide the headers after it from GMime.
        {"no MIME at all",
         "just some text\r\nwith an evil payload\r\n",
         {},
         "a header name is invalid"},
        {"empty file", "", {}},
    };
}

TEST(DecodedCheck, MalformedMimeIsCheckedAsFarAsItDecodes)
{
    for (const Case& c : malformedCases()) {
        SCOPED_TRACE(c.name);
        const Decoded out = checkBoth("evil payload", c.message);
        ASSERT_TRUE(out.raw.result.ok);
        ASSERT_TRUE(out.decoded.result.ok) << out.decoded.result.error.toStdString();
        const QString unread = out.decoded.result.notFullyChecked;
        if (c.unread) {
            EXPECT_TRUE(unread.startsWith("The decoded check could not read it whole: ") &&
                        unread.endsWith(QLatin1String(c.unread)))
                << unread.toStdString();
        } else {
            EXPECT_EQ(unread, "");
        }
        if (std::string(c.name).starts_with("broken")) {
            // GMime skips the invalid characters; the rest decodes to shifted bytes, so only the
            // absence of a crash or error is asserted.
            continue;
        }
        EXPECT_EQ(out.decoded.hits, c.decoded);
    }
}

TEST(DecodedCheck, AMissingMessageFileIsAnErrorThatNamesIt)
{
    TestFolder folder;
    DefinitionSet set;
    const CheckResult result = checkDecodedParts(set, folder.path(QStringLiteral("gone.txt")));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QStringLiteral("gone.txt")));
}

} // namespace
} // namespace scanner::test
