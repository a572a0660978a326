// SettingsPropertyBag: a property bag stored in a QSettings group, each value with its type.
#pragma once

#include "platform/automation/propertybag.h"

#include <QSettings>
#include <QString>

namespace automation {

// Each key holds "TYPE:TEXT" ("Long:110", "String:mail.example.org", "Boolean:True", "Null"), so a
// round trip gives back the same variant type, and a person can still read and edit the file.
// String bytes are kept one character per byte (Latin-1), so every byte value survives. A stored
// text without a known type prefix reads as a String of the whole text; a Double or Date whose
// text no longer parses reads as that String too. Writes go to QSettings, which saves them when
// it syncs or is destroyed; its errors show in QSettings::status().
class SettingsPropertyBag : public PropertyBag {
public:
    // `settings` must outlive the bag; `group` may be empty or nested ("Forms/Scan/Vorlane1").
    SettingsPropertyBag(QSettings& settings, QString group);

    Variant read(QByteArrayView key) const override;
    void write(QByteArrayView key, const Variant& value) override;

private:
    QString settingsKey(QByteArrayView key) const;

    QSettings& m_settings;
    QString m_group;
};

} // namespace automation
