// The definition check written as plainly as possible.
#include "tests/reference/plaincheck.h"

#include <QFile>
#include <optional>

namespace scanner {
namespace {

std::optional<QByteArray> readWhole(const QString& path, const char* what, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot open %1 %2: %3")
                     .arg(QLatin1String(what), path, file.errorString());
        return std::nullopt;
    }
    QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("Cannot read %1 %2: %3")
                     .arg(QLatin1String(what), path, file.errorString());
        return std::nullopt;
    }
    return content;
}

// Deliberately independent of splitDefinitionLines, so that the two can check each other.
bool isSearchString(const QByteArray& line)
{
    for (char c : line) {
        if (c != ' ' && c != '\t') {
            return true;
        }
    }
    return false;
}

QList<QByteArray> definitionLines(QByteArray content)
{
    if (content.startsWith("\xEF\xBB\xBF")) {
        content.remove(0, 3);
    }
    QList<QByteArray> lines;
    QByteArray current;
    for (char c : content) {
        if (c == '\r' || c == '\n') {
            if (isSearchString(current)) {
                lines.append(current);
            }
            current.clear();
        } else {
            current.append(c);
        }
    }
    if (isSearchString(current)) {
        lines.append(current);
    }
    return lines;
}

// CR LF or a lone CR ends a message line; a lone LF belongs to the line.
QList<QByteArray> messageLines(const QByteArray& content)
{
    QList<QByteArray> lines;
    QByteArray current;
    for (qsizetype i = 0; i < content.size(); ++i) {
        if (content[i] != '\r') {
            current.append(content[i]);
            continue;
        }
        lines.append(current);
        current.clear();
        if (i + 1 < content.size() && content[i + 1] == '\n') {
            ++i;
        }
    }
    if (!current.isEmpty()) {
        lines.append(current);
    }
    return lines;
}

char foldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool contains(const QByteArray& line, const QByteArray& definition)
{
    for (qsizetype start = 0; start + definition.size() <= line.size(); ++start) {
        qsizetype k = 0;
        while (k < definition.size() && foldAscii(line[start + k]) == foldAscii(definition[k])) {
            ++k;
        }
        if (k == definition.size()) {
            return true;
        }
    }
    return false;
}

} // namespace

CheckResult checkPlain(const QString& definitionPath, const QString& messagePath)
{
    QString error;
    const auto definitions = readWhole(definitionPath, "definition file", &error);
    if (!definitions) {
        return CheckResult::failure(error);
    }
    const auto message = readWhole(messagePath, "message file", &error);
    if (!message) {
        return CheckResult::failure(error);
    }
    const QList<QByteArray> lines = messageLines(*message);
    CheckResult result;
    for (const QByteArray& definition : definitionLines(*definitions)) {
        for (const QByteArray& line : lines) {
            if (contains(line, definition)) {
                result.hits.push_back({definition, line});
            }
        }
    }
    return result;
}

} // namespace scanner
