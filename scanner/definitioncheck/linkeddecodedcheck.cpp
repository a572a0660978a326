// The decoded check with GMime linked in, for tests, fuzz targets and benchmarks.
#include "scanner/definitioncheck/decodedcheck.h"
#include "scanner/definitioncheck/encodedparts.h"

namespace scanner {

CheckResult checkDecodedParts(const DefinitionSet& definitions, const QString& messagePath)
{
    return checkDecodedParts(definitions, EncodedParts(messagePath), messagePath);
}

} // namespace scanner
