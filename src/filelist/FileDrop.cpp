#include "FileDrop.h"

#include "util/PathHelpers.h"

#include <QDir>
#include <QMimeData>
#include <QUrl>

namespace korvane {

std::optional<DroppedFiles> DroppedLocalFiles(const QMimeData& data) {
    if (!data.hasUrls())
        return std::nullopt;
    const QList<QUrl> urls = data.urls();
    if (urls.isEmpty())
        return std::nullopt;
    DroppedFiles dropped;
    dropped.paths.reserve(urls.size());
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            return std::nullopt;
        // The address carries the name's bytes; decoding them as text would lose the ones that
        // are not valid UTF-8.
        const QByteArray bytes =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (QString::fromUtf8(bytes).toUtf8() == bytes)
            dropped.paths.append(QDir::toNativeSeparators(url.toLocalFile()));
        else
            dropped.invalidNames.append(QDir::toNativeSeparators(TextWithEscapedBytes(bytes)));
    }
    return dropped;
}

} // namespace korvane
