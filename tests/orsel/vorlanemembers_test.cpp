// The member ids the scanner calls the control by, held against the control's own type
// information as a host reaches it: the object made by ProgID through the registry, each name
// looked up on it.
#include "platform/automation/connectionpoint.h"
#include "platform/automation/createobject.h"
#include "scanner/vorlanemembers.h"

#include <gtest/gtest.h>
#include <optional>

namespace {

// The shipped library is registered for the whole test program (see scanrun_test.cpp).
TEST(VorlaneMembers, EveryIdIsTheOneTheControlGivesItsName)
{
    automation::RuntimeError error{};
    QByteArray description;
    const automation::Ref<automation::Dispatch> control =
        automation::createObject(vorlanemembers::kProgId, &error, &description);
    ASSERT_TRUE(control) << description.constData();
    for (const auto& [name, id] : vorlanemembers::kMembers) {
        EXPECT_EQ(control->idOfName(name), std::optional<qint32>(id)) << name;
    }
    ASSERT_TRUE(control->connectionPoint());
    for (const auto& [name, id] : vorlanemembers::kEvents) {
        EXPECT_EQ(automation::idOfName(control->connectionPoint()->events(), name),
                  std::optional<qint32>(id))
            << name;
    }
}

} // namespace
