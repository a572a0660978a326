#include "scanner/statusoutput.h"

#include <cstdio>

namespace {

void writeText(std::FILE* stream, const QString& text)
{
    QString lines = text;
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QByteArray bytes = lines.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void writeStatusText(const QString& text)
{
    writeText(stdout, text);
}

void writeErrorText(const QString& text)
{
    writeText(stderr, text);
}
