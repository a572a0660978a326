// The fast check against the plain rule on random definitions and messages, with and without
// sampling, at several read block sizes. Small alphabets make hits, repeats, case pairs and line
// ends at every position common.
#include "definitioncheck_testfiles.h"

#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace scanner::test {
namespace {

// Letters in both cases, pairs of bytes that differ only in bit 5 like a case pair but are not
// ASCII letters, a blank, a NUL, and (in messages) every kind of line end.
constexpr char kDefinitionBytes[] = {'a', 'A', 'b', 'B', ' ', '\xE4', '\xC4', '@', '`', '\0'};
constexpr char kMessageBytes[] = {'a',    'A', 'b', 'B',  ' ',  '\xE4',
                                  '\xC4', '@', '`', '\0', '\r', '\n'};

class Generator {
public:
    explicit Generator(unsigned seed) : m_random(seed) {}

    int between(int min, int max) { return std::uniform_int_distribution<int>(min, max)(m_random); }

    template <size_t N> QByteArray text(const char (&bytes)[N], int minLength, int maxLength)
    {
        QByteArray out;
        for (int i = between(minLength, maxLength); i > 0; --i) {
            out.append(bytes[between(0, int(N) - 1)]);
        }
        return out;
    }

    // Up to eight lines joined by random line ends, sometimes with empty lines and a final end.
    QByteArray definitions(const QList<QByteArray>& lines)
    {
        static const char* const ends[] = {"\r\n", "\r", "\n", "\r\n\r\n", "\n\n"};
        QByteArray out;
        for (const QByteArray& line : lines) {
            out += line + ends[between(0, 4)];
        }
        return between(0, 1) ? out : out.chopped(out.isEmpty() ? 0 : 1);
    }

    // Random bytes with the definitions planted in it, some in other case, some cut short.
    QByteArray plantedMessage(const QList<QByteArray>& lines, int chunks)
    {
        QByteArray out;
        for (int i = 0; i < chunks; ++i) {
            if (lines.isEmpty() || between(0, 2) == 0) {
                out += text(kMessageBytes, 0, 30);
                continue;
            }
            QByteArray copy = lines[between(0, int(lines.size()) - 1)];
            for (char& c : copy) {
                if (between(0, 3) == 0 && ((c | 0x20) == 'a' || (c | 0x20) == 'b')) {
                    c ^= 0x20;
                }
            }
            out += between(0, 4) == 0 ? copy.chopped(1) : copy;
        }
        return out;
    }

private:
    std::mt19937 m_random;
};

// Returns the number of hits, so the callers can tell that the comparison was not trivial.
size_t compare(const QByteArray& definitionText, const QByteArray& messageText, unsigned seed)
{
    TestFolder folder;
    const QString definitions = folder.write(QStringLiteral("def.dat"), definitionText);
    const QString message = folder.write(QStringLiteral("msg.txt"), messageText);
    const Outcome expected = checkWithPlain(definitions, message);
    EXPECT_TRUE(expected.result.ok);

    DefinitionSet set;
    set.setCacheDirectory(QString());
    for (qsizetype threshold : {qsizetype(1), std::numeric_limits<qsizetype>::max()}) {
        set.setSamplingThreshold(threshold);
        for (qsizetype blockSize : {1, 2, 7, 4096}) {
            SCOPED_TRACE(::testing::Message() << "seed " << seed << ", sampling from " << threshold
                                              << ", block size " << blockSize);
            set.setReadBlockSize(blockSize);
            const Outcome out = checkWithSet(set, definitions, message);
            EXPECT_TRUE(out.result.ok) << out.result.error.toStdString();
            EXPECT_EQ(out.hits, expected.hits);
        }
    }
    return expected.hits.size();
}

TEST(DefinitionRandom, ShortDefinitionsMatchThePlainRule)
{
    size_t hits = 0;
    for (unsigned seed = 1; seed <= 400 && !::testing::Test::HasFailure(); ++seed) {
        Generator generate(seed);
        QList<QByteArray> lines;
        for (int i = generate.between(0, 8); i > 0; --i) {
            lines.append(generate.text(kDefinitionBytes, 0, 4));
        }
        const QByteArray message = generate.text(kMessageBytes, 0, seed % 10 ? 60 : 20000);
        hits += compare(generate.definitions(lines), message, seed);
    }
    EXPECT_GT(hits, 5000u);
}

TEST(DefinitionRandom, LongDefinitionsMatchThePlainRule)
{
    size_t hits = 0;
    for (unsigned seed = 1001; seed <= 1200 && !::testing::Test::HasFailure(); ++seed) {
        Generator generate(seed);
        QList<QByteArray> lines;
        for (int i = generate.between(1, 8); i > 0; --i) {
            lines.append(generate.text(kDefinitionBytes, 8, 20)); // both sides of the sampling size
        }
        const QByteArray message = generate.plantedMessage(lines, generate.between(0, 40));
        hits += compare(generate.definitions(lines), message, seed);
    }
    EXPECT_GT(hits, 1000u);
}

} // namespace
} // namespace scanner::test
