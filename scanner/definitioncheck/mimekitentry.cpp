// The one entry point of the module Orsel01mime.so.
#include "scanner/definitioncheck/encodedparts.h"
#include "scanner/definitioncheck/headertext.h"
#include "scanner/definitioncheck/mimekit.h"

namespace {

class GMimeKit final : public scanner::MimeKit {
public:
    std::unique_ptr<scanner::MessageParts>
    openEncodedParts(const QString& messagePath) const override
    {
        return std::make_unique<scanner::EncodedParts>(messagePath);
    }
    QString headerText(const QByteArray& raw, qsizetype maximumLength) const override
    {
        return scanner::headerText(raw, maximumLength);
    }
};

} // namespace

extern "C" __attribute__((visibility("default"))) const scanner::MimeKit* OrselMimeKit()
{
    static const GMimeKit kit;
    return &kit;
}
