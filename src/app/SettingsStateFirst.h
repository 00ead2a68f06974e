#pragma once

#include <QSettings>

namespace TW {

// The settings file is written when the settings object is destroyed at
// process exit. QSettings keeps process-wide state of its own that must
// outlive that moment; static objects go in the reverse order of their
// construction, so a program brings that state up during its own start, in
// its first translation unit, by including this header there (main.cpp, a
// test's own file), ahead of the settings object's owner.
struct SettingsStateFirst
{
    SettingsStateFirst() { QSettings early(QStringLiteral("/dev/null"), QSettings::IniFormat); }
};

inline const SettingsStateFirst settingsStateFirst;

} // namespace TW
