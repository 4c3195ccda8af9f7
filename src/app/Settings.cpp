#include "Settings.h"

#include <QSettings>

namespace korvane {

namespace {

QSettings openStore(const QString& application) {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quenwick"),
                     application);
}

} // namespace

QString GetSetting(const QString& application, const QString& section, const QString& key,
                   const QString& defaultValue) {
    const QSettings store = openStore(application);
    const QString path = section + QLatin1Char('/') + key;
    return store.contains(path) ? store.value(path).toString() : defaultValue;
}

bool SaveSetting(const QString& application, const QString& section, const QString& key,
                 const QString& value) {
    QSettings store = openStore(application);
    store.setValue(section + QLatin1Char('/') + key, value);
    store.sync();
    return store.status() == QSettings::NoError;
}

} // namespace korvane
