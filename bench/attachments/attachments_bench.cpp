// On a folder of attachment-heavy mail (100 MB by default): the definition check of the raw files
// alone against the same check followed by the decoded check, and ClamAV's scan of the files with
// a generated database against `clamscan -d` with that database, all in one run. With --peak-mb,
// the peak memory of checking one message whose single attachment has that many MB.
#include "scanner/clamav/clamavengine.h"
#include "scanner/definitioncheck/decodedcheck.h"
#include "scanner/definitioncheck/definitionset.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <random>
#include <sys/resource.h>

namespace {

QByteArray randomBytes(std::mt19937& random, qsizetype size)
{
    QByteArray out(size, Qt::Uninitialized);
    for (char& c : out) {
        c = char(random() & 0xff);
    }
    return out;
}

QByteArray randomText(std::mt19937& random, qsizetype size)
{
    static const char* const words[] = {"meeting", "the",    "report", "attached", "please",
                                        "review",  "budget", "and",    "of",       "Friday"};
    QByteArray out;
    while (out.size() < size) {
        out += words[random() % 10];
        out += (random() % 12 == 0) ? "\r\n" : " ";
    }
    return out;
}

QByteArray base64Lines(const QByteArray& data)
{
    const QByteArray encoded = data.toBase64();
    QByteArray out;
    out.reserve(encoded.size() + encoded.size() / 38);
    for (qsizetype at = 0; at < encoded.size(); at += 76) {
        out += encoded.mid(at, 76) + "\r\n";
    }
    return out;
}

// About 1 MB: a text part, a binary and a text attachment in base64, a quoted-printable part.
QByteArray attachmentMail(std::mt19937& random, int n)
{
    const QByteArray b = "b" + QByteArray::number(n);
    QByteArray mail = "From: a@example.org\r\nTo: b@example.org\r\nSubject: files " +
                      QByteArray::number(n) +
                      "\r\nMIME-Version: 1.0\r\nContent-Type: "
                      "multipart/mixed; boundary=\"" +
                      b + "\"\r\n\r\n";
    mail += "--" + b + "\r\nContent-Type: text/plain\r\n\r\n" + randomText(random, 2000) + "\r\n";
    mail += "--" + b +
            "\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\n" +
            base64Lines(randomBytes(random, 450000));
    mail += "--" + b +
            "\r\nContent-Type: text/plain; name=\"notes.txt\"\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\n" +
            base64Lines(randomText(random, 250000));
    QByteArray qp = randomText(random, 20000);
    for (qsizetype at = 70; at < qp.size(); at += 72) {
        qp.insert(at, "=\r\n");
    }
    mail += "--" + b +
            "\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: "
            "quoted-printable\r\n\r\n" +
            qp + "\r\n--" + b + "--\r\n";
    return mail;
}

double seconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

struct Fixture {
    QTemporaryDir dir;
    QStringList mails;
    qint64 bytes = 0;
    QString definitions, database;
};

void writeFixture(Fixture& f, qint64 totalBytes)
{
    std::mt19937 random(12);
    QDir().mkpath(f.dir.filePath(QStringLiteral("mail")));
    for (int n = 1; f.bytes < totalBytes; ++n) {
        const QString path = f.dir.filePath(QStringLiteral("mail/msg%1.txt").arg(n));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        f.bytes += file.write(attachmentMail(random, n));
        f.mails.append(path);
    }
    // 1,000 definitions of 8 to 24 letters, as a def.dat might hold.
    f.definitions = f.dir.filePath(QStringLiteral("def.dat"));
    QFile defs(f.definitions);
    defs.open(QIODevice::WriteOnly);
    for (int i = 0; i < 1000; ++i) {
        QByteArray line;
        for (int k = 0, n = 8 + int(random() % 17); k < n; ++k) {
            line += char('a' + random() % 26);
        }
        defs.write(line + "\r\n");
    }
    // 10,000 random body signatures: enough that loading and matching are real work.
    f.database = f.dir.filePath(QStringLiteral("db"));
    QDir().mkpath(f.database);
    QFile db(f.database + QStringLiteral("/bench.ndb"));
    db.open(QIODevice::WriteOnly);
    for (int i = 0; i < 10000; ++i) {
        db.write("Bench.Random." + QByteArray::number(i) +
                 ":0:*:" + randomBytes(random, 16).toHex() + "\n");
    }
}

double timeChecks(const Fixture& f, bool decode)
{
    scanner::DefinitionSet set;
    set.setCacheDirectory(QString());
    set.check(f.definitions, f.mails.first()); // compile outside the timing
    QElapsedTimer timer;
    timer.start();
    for (const QString& mail : f.mails) {
        set.check(f.definitions, mail);
        if (decode) {
            scanner::checkDecodedParts(set, mail);
        }
    }
    return seconds(timer);
}

void benchFolder(qint64 totalBytes)
{
    Fixture f;
    writeFixture(f, totalBytes);
    const double raw = timeChecks(f, false);
    const double decoded = timeChecks(f, true);
    const double mb = double(f.bytes) / 1e6;
    std::printf("%d messages, %.1f MB: raw check %.3f s, raw + decoded %.3f s\n",
                int(f.mails.size()), mb, raw, decoded);
    std::printf("TABLE|Decoded check, %.0f MB of attachment mail|%.3f s raw + decoded|raw check "
                "alone %.3f s|%.2fx the raw time (%.0f MB/s)|-\n",
                mb, decoded, raw, decoded / raw, mb / decoded);

    QElapsedTimer timer;
    timer.start();
    scanner::ClamAvEngine engine;
    QString error;
    if (!engine.load(f.database, {}, &error)) {
        std::printf("ClamAV: %s\n", qPrintable(error));
        return;
    }
    const double load = seconds(timer);
    scanner::ClamAvVerdict verdict;
    for (const QString& mail : f.mails) {
        engine.scanFile(mail, &verdict, &error);
    }
    const double ours = seconds(timer);
    timer.restart();
    QProcess clamscan;
    clamscan.start(QStringLiteral("clamscan"),
                   QStringList{QStringLiteral("--no-summary"), QStringLiteral("--infected"),
                               QStringLiteral("-d"), f.database} +
                       f.mails);
    clamscan.waitForFinished(-1);
    const double peer = seconds(timer);
    std::printf("ClamAV: load %.3f s, load + scan %.3f s; clamscan -d %.3f s (exit %d)\n", load,
                ours, peer, clamscan.exitCode());
    std::printf("TABLE|ClamAV, same %.0f MB, %u signatures|%.3f s (load %.3f s)|clamscan -d "
                "%.3f s|%.2fx (clamscan time / ours)|-\n",
                mb, engine.signatureCount(), ours, load, peer, peer / ours);
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Written in pieces so that the writer itself stays small.
void writeBigMessage(const QString& path, qint64 attachmentMb)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("Subject: big\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; "
               "boundary=\"x\"\r\n\r\n--x\r\nContent-Type: application/octet-stream; "
               "name=\"big.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n");
    std::mt19937 random(5);
    const qsizetype chunk = 57 * 18396; // whole base64 lines, about 1 MB
    for (qint64 written = 0; written < attachmentMb * 1000000; written += chunk) {
        file.write(base64Lines(randomBytes(random, chunk)));
    }
    file.write("--x--\r\n");
}

void benchPeak(qint64 attachmentMb, const QString& program)
{
    QTemporaryDir dir;
    const QString mail = dir.filePath(QStringLiteral("big.txt"));
    writeBigMessage(mail, attachmentMb);
    QFile defs(dir.filePath(QStringLiteral("def.dat")));
    defs.open(QIODevice::WriteOnly);
    defs.write("evil payload\r\nanother definition\r\n");
    defs.close();
    // A process of its own, so that writing the message does not count.
    QProcess child;
    child.start(program, {QStringLiteral("--measure"), mail, defs.fileName()});
    child.waitForFinished(-1);
    std::printf("%s", child.readAllStandardOutput().constData());
}

int measure(const QString& mail, const QString& definitions)
{
    const long before = peakKilobytes();
    scanner::DefinitionSet set;
    set.setCacheDirectory(QString());
    QElapsedTimer timer;
    timer.start();
    set.check(definitions, mail);
    const scanner::CheckResult decoded = scanner::checkDecodedParts(set, mail);
    const double mb = double(QFileInfo(mail).size()) / 1e6;
    std::printf("Decoded check of one %.0f MB message (one attachment): %.2f s, ok %d, peak RSS "
                "%.1f MB (%.1f MB before the check)\n",
                mb, seconds(timer), decoded.ok, double(peakKilobytes()) / 1024,
                double(before) / 1024);
    std::printf("TABLE|Peak memory, %.0f MB message, one attachment|%.1f MB peak RSS|-|-|bounded\n",
                mb, double(peakKilobytes()) / 1024);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption mb(QStringLiteral("mb"), QStringLiteral("Mail folder size in MB."),
                                QStringLiteral("MB"), QStringLiteral("100"));
    const QCommandLineOption peak(QStringLiteral("peak-mb"),
                                  QStringLiteral("Attachment size for the memory row (0: none)."),
                                  QStringLiteral("MB"), QStringLiteral("500"));
    const QCommandLineOption measureOption(QStringLiteral("measure"),
                                           QStringLiteral("Internal: measure one message."));
    parser.addOptions({mb, peak, measureOption});
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("For --measure."));
    parser.process(app);
    if (parser.isSet(measureOption)) {
        return measure(parser.positionalArguments().value(0),
                       parser.positionalArguments().value(1));
    }
    benchFolder(parser.value(mb).toLongLong() * 1000000);
    if (parser.value(peak).toLongLong() > 0) {
        benchPeak(parser.value(peak).toLongLong(), QCoreApplication::applicationFilePath());
    }
    return 0;
}
