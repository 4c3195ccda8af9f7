#pragma once

// What the settings, start-up and options tests share: a private settings store in a temporary
// folder, and cursor files made on the spot.
#include "TestFiles.h"
#include "app/Settings.h"
#include "util/Constants.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPoint>
#include <QSettings>
#include <QTemporaryDir>
#include <QtEndian>

namespace korvane::test {

// Points the user-scope INI store at a fresh temporary folder for as long as it lives.
class PrivateSettings {
public:
    PrivateSettings() { QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path()); }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

inline const QString kAbsent = QStringLiteral("<absent>");

inline QString stored(const QString& key) {
    return GetSetting(kSettingsOrganization, kSettingsSection, key, kAbsent);
}

inline bool store(const QString& key, const QString& value) {
    return SaveSetting(kSettingsOrganization, kSettingsSection, key, value);
}

// A cursor file: a square image saved as an icon, turned into a cursor by its type field, with
// the hotspot in its first directory entry.
inline QByteArray cursorFileBytes(int size, QPoint hotspot) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "ICO");
    QByteArray bytes = buffer.data();
    qToLittleEndian<quint16>(2, bytes.data() + 2);
    qToLittleEndian<quint16>(hotspot.x(), bytes.data() + 10);
    qToLittleEndian<quint16>(hotspot.y(), bytes.data() + 12);
    return bytes;
}

} // namespace korvane::test
