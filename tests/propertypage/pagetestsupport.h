// Reading and writing the edited control by property name, and reading the page's boxes, for the
// property page tests.
#pragma once

#include "platform/automation/conversions.h"
#include "platform/automation/dispatch.h"

#include <QLineEdit>
#include <gtest/gtest.h>
#include <string>

// The property's value as the page would show it; "<error N>" when it cannot be read.
inline std::string valueOf(automation::Dispatch& object, const char* property)
{
    const std::optional<qint32> id = object.idOfName(property);
    if (!id)
        return "<no such property>";
    const automation::CallResult result = object.get(*id);
    const auto text = automation::toString(result.value);
    if (!result.ok() || !text.ok())
        return "<error " + std::to_string(int(result.error)) + ">";
    return text.value.toStdString();
}

inline void putText(automation::Dispatch& object, const char* property, const QByteArray& text)
{
    const std::optional<qint32> id = object.idOfName(property);
    ASSERT_TRUE(id) << property;
    ASSERT_TRUE(object.put(*id, automation::Variant::fromString(text)).ok()) << property;
}

inline QLineEdit* boxOf(const QWidget& page, const char* property)
{
    return page.findChild<QLineEdit*>(QLatin1String("txt") + QLatin1String(property));
}

inline std::string textOf(const QWidget& page, const char* property)
{
    const QLineEdit* box = boxOf(page, property);
    return box ? box->text().toStdString() : "<no box>";
}
