#include "AddFiles.h"

#include "FileListView.h"
#include "util/PathHelpers.h"

namespace korvane {

QString BadFileNameMessage(const QString& path)
{
    return path + QStringLiteral("\r\rwas not added because it has bad characters in the filename.");
}

void AddChosenFiles(const QStringList& chosen, FileListView& list,
                    const std::function<void(const QString& message)>& reportBadName)
{
    if (chosen.size() == 1) {
        list.append(chosen.first());
        return;
    }
    for (const QString& file : chosen) {
        const QString path = RepairRootSeparator(file);
        if (IsBadFileName(path)) {
            reportBadName(BadFileNameMessage(path));
            continue;
        }
        list.append(path);
    }
}

} // namespace korvane
