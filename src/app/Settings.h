#pragma once

#include <QString>

// The per-user settings store: text values addressed by an application name, a section and a
// key. Values are written at once and read when the window that shows them loads.
//
// The store is an INI file in the user's configuration folder. The application name of the
// addressing ("Quenwick") names its organisation folder, the product name names the file, and
// the section is the group inside it: <config>/Quenwick/Korvane.ini, [Korvane].
namespace korvane {

// The stored text of the key, or the default when the key is absent. A key that is present
// with an empty value gives the empty text.
QString GetSetting(const QString& application, const QString& section, const QString& key,
                   const QString& defaultValue);

// Stores the value; the write is complete (on disk) when the call returns. Returns false when
// the store cannot be written; the application carries on either way.
bool SaveSetting(const QString& application, const QString& section, const QString& key,
                 const QString& value);

// The store's file as a native path, for telling the user where it could not be written.
QString SettingsFileName(const QString& application);

// Booleans are stored as "True" and "False".
QString BooleanText(bool value);

// A stored Boolean: "True" and "False" in any letter case, or a number (0 false, anything else
// true). Text that reads as neither, for example one edited by hand, gives the default.
bool StoredBoolean(const QString& text, bool defaultValue);

// The stored index of the selected tab: 0 or 1; anything else selects the first tab.
int StoredTabIndex(const QString& text);

} // namespace korvane
