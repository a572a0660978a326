// Call results.
#include "platform/automation/callresult.h"

namespace automation {

CallResult CallResult::success(Variant value)
{
    return CallResult{RuntimeError::None, {}, std::move(value)};
}

CallResult CallResult::failure(ErrorNumber error, QByteArray description)
{
    if (description.isEmpty())
        description = runtimeErrorText(error);
    return CallResult{error, std::move(description), {}};
}

} // namespace automation
