// Opening the settings store.

#include "base/SettingsStore.h"

#include <QSettings>

namespace SettingsStore {

std::unique_ptr<QSettings> open(const QString &file)
{
    const QString name = QStringLiteral("Mailvane");
    if (file.isEmpty())
        return std::make_unique<QSettings>(name, name);
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

} // namespace SettingsStore
