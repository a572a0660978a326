// What the as-sent copy costs a run with the decoded check, ClamAV or the quarantine on: the copy
// of a saved message with its stuffed dots removed, against cp of the same file (the least any
// copy costs), on the same file system. Prints medians and their ratio.
#include "scanner/messageassent.h"

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// Mail text as a saved file holds it: 76-column lines, every 40th a stuffed dot, no last CR LF.
bool writeSavedMessage(const QString& path, qint64 megabytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QByteArray block;
    for (int line = 0; block.size() < 1024 * 1024; ++line) {
        block += (line % 40 == 0 ? ".." : "") + QByteArray(74, char('a' + line % 26)) + "\r\n";
    }
    block.resize(1024 * 1024);
    for (qint64 i = 0; i < megabytes; ++i) {
        if (file.write(block) != block.size()) {
            return false;
        }
    }
    return true;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

template <class Copy> double timed(const QString& target, Copy copy, bool* ok)
{
    QFile::remove(target);
    QElapsedTimer timer;
    timer.start();
    *ok = copy() && *ok;
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const qint64 megabytes = argc > 2 ? std::atoll(argv[2]) : 100;
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("msg1.txt"));
    const QString view = messageassent::pathFor(saved);
    const QString copied = dir.filePath(QStringLiteral("copy.txt"));
    if (!writeSavedMessage(saved, megabytes)) {
        std::fprintf(stderr, "messageassent_bench: cannot write %s\n", qPrintable(saved));
        return 2;
    }
    bool ok = true;
    QString error;
    QList<double> ours, cp, ratios;
    for (int run = 0; run < runs && ok; ++run) {
        const double o = timed(
            view, [&] { return messageassent::write(saved, view, &error); }, &ok);
        const double c = timed(
            copied,
            [&] {
                return QProcess::execute(QStringLiteral("cp"), {saved, copied}) == 0;
            },
            &ok);
        ours.append(o);
        cp.append(c);
        ratios.append(o / c);
    }
    if (!ok) {
        std::fprintf(stderr, "messageassent_bench: a copy failed: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("as-sent copy of a %lld MB saved message: ours %.3f s, cp %.3f s (medians of %d); "
                "median ratio ours/cp %.2f\n",
                qlonglong(megabytes), median(ours), median(cp), runs, median(ratios));
    std::printf("TABLE|As-sent copy of a %lld MB message|%.3f s|cp %.3f s|%.2f ours/cp|-\n",
                qlonglong(megabytes), median(ours), median(cp), median(ratios));
    return 0;
}
