#pragma once
// The program's settings store (QSettings, organisation and application
// "Mailvane": ~/.config/Mailvane/Mailvane.conf), or another settings file
// in the same format for tests of what is kept there.

#include <QString>

#include <memory>

class QSettings;

namespace SettingsStore {

// An empty file name opens the program's own store.
std::unique_ptr<QSettings> open(const QString &file = QString());

} // namespace SettingsStore
