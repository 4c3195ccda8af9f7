#pragma once

#include <QStringList>

#include <functional>

namespace korvane {

class FileListView;

// The sentence shown for a chosen file whose name cannot be resolved.
QString BadFileNameMessage(const QString& path);

// Appends the files chosen in the open-files dialog (full paths, in the dialog's order) to the
// list. A single file is added as it is; of several files, each one that cannot be resolved is
// reported through reportBadName and skipped.
void AddChosenFiles(const QStringList& chosen, FileListView& list,
                    const std::function<void(const QString& message)>& reportBadName);

} // namespace korvane
