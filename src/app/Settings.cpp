#include "Settings.h"

#include "util/Constants.h"

#include <QDir>
#include <QLocale>
#include <QSettings>

#include <cmath>
#include <optional>

namespace korvane {

namespace {

// One store object per call: nothing is cached between reads and writes, so a value written by
// another running copy is seen at the next start, and a failed write leaves nothing behind.
QSettings openStore(const QString& application) {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, application, kSettingsApplication);
}

QString keyPath(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}

// A number in the user's format or in the C format, as the store may have been written (or
// edited) under either.
std::optional<double> storedNumber(const QString& text) {
    bool ok = false;
    double value = QLocale().toDouble(text, &ok);
    if (!ok)
        value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

QString GetSetting(const QString& application, const QString& section, const QString& key,
                   const QString& defaultValue) {
    const QSettings store = openStore(application);
    const QString path = keyPath(section, key);
    if (!store.contains(path))
        return defaultValue;
    const QVariant value = store.value(path);
    // A hand-edited value with unquoted commas is read by the INI parser as a list; give back
    // the text as it was typed rather than nothing.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

bool SaveSetting(const QString& application, const QString& section, const QString& key,
                 const QString& value) {
    QSettings store = openStore(application);
    store.setValue(keyPath(section, key), value);
    store.sync();
    // A damaged file is a format error of the reading; the store rewrites it whole, so only an
    // access error means the value did not reach the disk.
    return store.status() != QSettings::AccessError;
}

QString SettingsFileName(const QString& application) {
    return QDir::toNativeSeparators(openStore(application).fileName());
}

QString BooleanText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

bool StoredBoolean(const QString& text, bool defaultValue) {
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    if (const auto number = storedNumber(trimmed))
        return *number != 0.0;
    return defaultValue;
}

int StoredTabIndex(const QString& text) {
    const auto number = storedNumber(text.trimmed());
    return number && *number == 1.0 ? 1 : 0;
}

} // namespace korvane
