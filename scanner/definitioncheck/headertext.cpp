#include "scanner/definitioncheck/headertext.h"

#include "scanner/definitioncheck/gmimeheaders.h"

namespace scanner {

QString headerText(const QByteArray& raw, qsizetype maximumLength)
{
    initialiseGMime();
    // GMime also takes undeclared 8-bit text for UTF-8 or the locale's charset.
    char* decoded = g_mime_utils_header_decode_text(nullptr, raw.constData());
    QString text = QString::fromUtf8(decoded);
    g_free(decoded);
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control) {
            c = QLatin1Char(' '); // line breaks of folded lines, and what would garble a line
        }
    }
    text = text.simplified();
    if (text.size() > maximumLength) {
        text = text.left(maximumLength - 3) + QStringLiteral("...");
    }
    return text;
}

} // namespace scanner
