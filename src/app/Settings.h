#pragma once

#include <QString>

// The per-user settings store: text values addressed by an application name, a section and a
// key. Values are written at once and read when the window that shows them loads.
namespace korvane {

// The stored text of the key, or the default when the key is absent. A key that is present
// with an empty value gives the empty text.
QString GetSetting(const QString& application, const QString& section, const QString& key,
                   const QString& defaultValue);

// Stores the value; the write is complete (on disk) when the call returns. Returns false when
// the store cannot be written.
bool SaveSetting(const QString& application, const QString& section, const QString& key,
                 const QString& value);

} // namespace korvane
