// Times the definition check on a large generated message against
// `LC_ALL=C grep -F -i -f DEFS FILE > /dev/null`, with 10, 1,000 and 100,000 random definitions,
// and prints grep's time divided by ours.
#include "scanner/definitioncheck/definitionset.h"
#include "tests/reference/plaincheck.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

namespace {

using Source = scanner::DefinitionSet::MatcherSource;

struct Options {
    qint64 messageBytes = 100 * 1000 * 1000;
    int runs = 3;
    qsizetype blockSize = 0;         // 0: the library's default
    qsizetype samplingThreshold = 0; // 0: the library's default
    bool plain = true;
    QList<int> counts{10, 1000, 100000};
    QString folder; // empty: a temporary folder, removed at the end
};

const char* const kWords[] = {
    "the",     "of",       "and",      "to",      "in",       "is",        "you",     "that",
    "it",      "he",       "was",      "for",     "on",       "are",       "as",      "with",
    "his",     "they",     "at",       "be",      "this",     "have",      "from",    "or",
    "one",     "had",      "by",       "word",    "but",      "not",       "what",    "all",
    "were",    "we",       "when",     "your",    "can",      "said",      "there",   "use",
    "an",      "each",     "which",    "she",     "do",       "how",       "their",   "if",
    "will",    "up",       "other",    "about",   "out",      "many",      "then",    "them",
    "meeting", "project",  "schedule", "invoice", "attached", "please",    "thanks",  "regards",
    "report",  "Monday",   "Friday",   "budget",  "review",   "customer",  "release", "server",
    "mailbox", "password", "account",  "update",  "team",     "deadline",  "draft",   "office",
    "2023",    "15:30",    "Q3",       "I",       "We",       "The",       "Hello",   "Best",
    "John",    "Maria",    "London",   "Berlin",  "e-mail",   "follow-up", "(see",    "below)",
};
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kSignatureBytes[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
                                   "!$%&()*+-./:;<=>?@[]^_{}~ ";

class MessageWriter {
public:
    explicit MessageWriter(std::mt19937& random) : m_random(random) {}

    // Mail-like text: header blocks, wrapped prose, now and then a base64 attachment; CR LF.
    void writeSection(QByteArray* out)
    {
        const int n = pick(100000);
        *out += "From: John Smith <john" + QByteArray::number(n) + "@example.com>\r\n";
        *out += "To: team@example.org\r\nSubject: Re: project meeting " + QByteArray::number(n) +
                "\r\nDate: Mon, 4 Sep 2023 10:15:00 +0200\r\nMIME-Version: 1.0\r\n"
                "Content-Type: text/plain; charset=us-ascii\r\n\r\n";
        for (int paragraph = 1 + pick(6); paragraph > 0; --paragraph) {
            for (int line = 1 + pick(8); line > 0; --line) {
                *out += proseLine();
            }
            *out += "\r\n";
        }
        if (pick(4) == 0) {
            *out += "Content-Transfer-Encoding: base64\r\n\r\n";
            for (int line = 20 + pick(400); line > 0; --line) {
                for (int i = 0; i < 76; ++i) {
                    out->append(kBase64[pick(63)]);
                }
                *out += "\r\n";
            }
        }
    }

private:
    int pick(int max) { return std::uniform_int_distribution<int>(0, max)(m_random); }

    QByteArray proseLine()
    {
        QByteArray line;
        const int width = 40 + pick(32);
        while (line.size() < width) {
            line += kWords[pick(int(std::size(kWords)) - 1)];
            line += pick(12) == 0 ? ". " : " ";
        }
        line.chop(1);
        return line + "\r\n";
    }

    std::mt19937& m_random;
};

QByteArray randomDefinition(std::mt19937& random)
{
    std::uniform_int_distribution<int> length(12, 40);
    std::uniform_int_distribution<int> byte(0, int(sizeof(kSignatureBytes)) - 2);
    QByteArray out;
    for (int i = length(random); i > 0; --i) {
        out.append(kSignatureBytes[byte(random)]);
    }
    // Blanks at either end would be invisible in a table and are legal but unusual.
    return out.trimmed().isEmpty() ? QByteArray("Xx") : out.trimmed();
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The generated message ends with a few lines that carry definitions of every set, so every check
// reports hits and grep (which stops at its first match when writing to /dev/null) still reads the
// whole file.
bool writeMessage(const QString& path, qint64 bytes, const QList<QByteArray>& planted,
                  std::mt19937& random)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    MessageWriter writer(random);
    QByteArray chunk;
    qint64 written = 0;
    while (written < bytes) {
        writer.writeSection(&chunk);
        if (chunk.size() > (1 << 20) || written + chunk.size() >= bytes) {
            written += file.write(chunk);
            chunk.clear();
        }
    }
    for (const QByteArray& definition : planted) {
        file.write("Found in the wild: " + definition.toLower() + " (reported)\r\n");
    }
    return file.error() == QFileDevice::NoError;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double timeIt(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

QString shellQuote(const QString& text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
           QLatin1Char('\'');
}

// Runs a shell command and returns its standard output; exits the program when it fails.
QByteArray shell(const QString& command)
{
    QProcess process;
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() > 1) {
        std::fprintf(stderr, "failed: %s\n%s", qPrintable(command),
                     process.readAllStandardError().constData());
        std::exit(2);
    }
    return process.readAllStandardOutput();
}

QString grepCommand(const QString& definitions, const QString& message, const QString& tail)
{
    return QStringLiteral("LC_ALL=C grep -F -i %1 -f %2 %3 %4")
        .arg(tail.isEmpty() ? QString() : QStringLiteral("-c"), shellQuote(definitions),
             shellQuote(message), tail.isEmpty() ? QStringLiteral("> /dev/null") : QString());
}

struct CheckRun {
    double seconds = 0;
    qsizetype hits = 0;
    qsizetype lines = 0; // distinct message lines with a hit, what grep -c counts
    Source source = Source::None;
};

CheckRun runCheck(scanner::DefinitionSet& set, const QString& definitions, const QString& message)
{
    CheckRun run;
    scanner::CheckResult result;
    run.seconds = timeIt([&] { result = set.check(definitions, message); });
    if (!result.ok) {
        std::fprintf(stderr, "check failed: %s\n", qPrintable(result.error));
        std::exit(2);
    }
    QSet<QByteArray> lines;
    for (const scanner::Hit& hit : result.hits) {
        lines.insert(hit.messageLine);
    }
    run.hits = qsizetype(result.hits.size());
    run.lines = lines.size();
    run.source = set.lastMatcherSource();
    return run;
}

struct Row {
    int count = 0;
    double grep = 0;
    double first = 0;  // new set, empty cache: read, compile, store in the cache, scan
    double reused = 0; // the matcher kept from the message before
    double warm = 0;   // new set, compiled part loaded from the disk cache
    qsizetype hits = 0;
    bool agrees = true;
};

Row measure(const Options& options, const QString& folder, const QString& definitions,
            const QString& message, int count)
{
    Row row;
    row.count = count;
    std::vector<double> grep, first, reused, warm;
    for (int i = 0; i < options.runs; ++i) {
        grep.push_back(timeIt([&] { shell(grepCommand(definitions, message, QString())); }));

        const QString cache = folder + QStringLiteral("/cache-%1-%2").arg(count).arg(i);
        QDir(cache).removeRecursively();
        scanner::DefinitionSet set;
        set.setCacheDirectory(cache);
        if (options.blockSize > 0) {
            set.setReadBlockSize(options.blockSize);
        }
        if (options.samplingThreshold > 0) {
            set.setSamplingThreshold(options.samplingThreshold);
        }
        const CheckRun firstRun = runCheck(set, definitions, message);
        const CheckRun reusedRun = runCheck(set, definitions, message);
        scanner::DefinitionSet fresh;
        fresh.setCacheDirectory(cache);
        fresh.setReadBlockSize(set.readBlockSize());
        fresh.setSamplingThreshold(set.samplingThreshold());
        const CheckRun warmRun = runCheck(fresh, definitions, message);
        // A set that samples all its definitions has nothing to compile, so nothing to cache.
        if (firstRun.source != Source::Compiled || reusedRun.source != Source::Reused ||
            warmRun.source == Source::Reused) {
            std::fprintf(stderr, "unexpected matcher sources\n");
            std::exit(2);
        }
        first.push_back(firstRun.seconds);
        reused.push_back(reusedRun.seconds);
        warm.push_back(warmRun.seconds);
        row.hits = firstRun.hits;
        const qsizetype grepLines =
            shell(grepCommand(definitions, message, QStringLiteral("-c"))).trimmed().toLongLong();
        row.agrees = row.agrees && grepLines == firstRun.lines && firstRun.hits == reusedRun.hits &&
                     firstRun.hits == warmRun.hits;
    }
    row.grep = median(grep);
    row.first = median(first);
    row.reused = median(reused);
    row.warm = median(warm);
    return row;
}

Options parseOptions(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Definition check against grep -F -i."));
    parser.addHelpOption();
    const QCommandLineOption size(QStringLiteral("size-mb"), QStringLiteral("Message size."),
                                  QStringLiteral("MB"), QStringLiteral("100"));
    const QCommandLineOption runs(QStringLiteral("runs"), QStringLiteral("Runs per figure."),
                                  QStringLiteral("n"), QStringLiteral("3"));
    const QCommandLineOption block(QStringLiteral("block-size"),
                                   QStringLiteral("Read block size in bytes."),
                                   QStringLiteral("bytes"), QStringLiteral("0"));
    const QCommandLineOption counts(QStringLiteral("counts"),
                                    QStringLiteral("Definition counts, comma separated."),
                                    QStringLiteral("list"), QStringLiteral("10,1000,100000"));
    const QCommandLineOption noPlain(QStringLiteral("no-plain"),
                                     QStringLiteral("Skip the plain reference."));
    const QCommandLineOption keep(QStringLiteral("folder"),
                                  QStringLiteral("Write the files here and keep them."),
                                  QStringLiteral("path"));
    const QCommandLineOption sampling(QStringLiteral("sampling-threshold"),
                                      QStringLiteral("Definitions from which on to sample."),
                                      QStringLiteral("n"), QStringLiteral("0"));
    parser.addOptions({size, runs, block, counts, noPlain, keep, sampling});
    parser.process(app);
    Options options;
    options.messageBytes = parser.value(size).toLongLong() * 1000 * 1000;
    options.runs = std::max(1, parser.value(runs).toInt());
    options.blockSize = parser.value(block).toLongLong();
    options.samplingThreshold = parser.value(sampling).toLongLong();
    options.plain = !parser.isSet(noPlain);
    options.folder = parser.value(keep);
    options.counts.clear();
    for (const QString& count : parser.value(counts).split(QLatin1Char(','))) {
        options.counts.append(count.toInt());
    }
    return options;
}

void printRow(const Row& row)
{
    std::printf("%8d %9.3f %9.3f %7.1fx %9.3f %7.1fx %9.3f %7.1fx %7lld  %s\n", row.count, row.grep,
                row.first, row.grep / row.first, row.reused, row.grep / row.reused, row.warm,
                row.grep / row.warm, static_cast<long long>(row.hits), row.agrees ? "yes" : "NO");
    // One row for the overall table of ./run bench: speed-ups as grep time / our time.
    std::printf("TABLE|Definition check, 100 MB, %d definitions|%.3f s (%.3f s with compile, "
                "%.3f s cached)|grep -F -i %.3f s|%.1fx (%.1fx compile, %.1fx cached)|%s\n",
                row.count, row.reused, row.first, row.warm, row.grep, row.grep / row.reused,
                row.grep / row.first, row.grep / row.warm,
                row.count == 1000 ? ">= 20x" : (row.count == 100000 ? ">= 30x cached" : "-"));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app);
    QTemporaryDir temporary;
    if (!options.folder.isEmpty()) {
        QDir().mkpath(options.folder);
        temporary.setAutoRemove(false);
    }
    const QDir folder(options.folder.isEmpty() ? temporary.path() : options.folder);
    std::mt19937 random(20230904);

    QList<QString> definitionFiles;
    QList<QByteArray> planted;
    for (int count : options.counts) {
        QByteArray content;
        for (int i = 0; i < count; ++i) {
            const QByteArray definition = randomDefinition(random);
            content += definition + '\n';
            if (i % std::max(1, count / 3) == 1) {
                planted.append(definition);
            }
        }
        definitionFiles.append(folder.filePath(QStringLiteral("def-%1.dat").arg(count)));
        writeFile(definitionFiles.last(), content);
    }
    const QString message = folder.filePath(QStringLiteral("message.txt"));
    writeMessage(message, options.messageBytes, planted, random);
    shell(QStringLiteral("cat %1 > /dev/null").arg(shellQuote(message))); // into the page cache
    std::printf("message %.1f MB, %d run(s) each, median seconds; ratio = grep / ours\n",
                double(QFileInfo(message).size()) / 1e6, options.runs);
    std::printf("first: new set, empty cache (includes compiling); reused: matcher kept from the "
                "message before;\nwarm: new set, disk cache filled; agrees: lines with hits equal "
                "grep -c\n");
    std::printf("%8s %9s %9s %8s %9s %8s %9s %8s %7s  %s\n", "defs", "grep", "first", "ratio",
                "reused", "ratio", "warm", "ratio", "hits", "agrees");
    for (qsizetype i = 0; i < options.counts.size(); ++i) {
        printRow(measure(options, folder.absolutePath(), definitionFiles[i], message,
                         options.counts[i]));
    }
    if (options.plain && !options.counts.isEmpty() && options.counts.first() <= 10) {
        qsizetype hits = 0;
        const double seconds = timeIt([&] {
            hits = qsizetype(scanner::checkPlain(definitionFiles.first(), message).hits.size());
        });
        std::printf("plain reference, %d defs: %.3f s, %lld hits\n", options.counts.first(),
                    seconds, static_cast<long long>(hits));
    }
    return 0;
}
