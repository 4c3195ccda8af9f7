#include "FileDrop.h"

#include <QDir>
#include <QMimeData>
#include <QUrl>

namespace korvane {

std::optional<QStringList> DroppedLocalFiles(const QMimeData& data) {
    if (!data.hasUrls())
        return std::nullopt;
    const QList<QUrl> urls = data.urls();
    if (urls.isEmpty())
        return std::nullopt;
    QStringList paths;
    paths.reserve(urls.size());
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            return std::nullopt;
        paths.append(QDir::toNativeSeparators(url.toLocalFile()));
    }
    return paths;
}

} // namespace korvane
