#pragma once

#include <QStringList>

#include <optional>

class QMimeData;

namespace korvane {

struct DroppedFiles {
    QStringList paths; // native, in the dropped order
    // Items whose names are not valid text (no path built from them reaches the item), shown
    // with their undecodable bytes as \xNN.
    QStringList invalidNames;
};

// The dropped items when the data is a list of local files (the only thing the list takes from
// a drag); nothing for any other data, also when one of the addresses is not a local file.
std::optional<DroppedFiles> DroppedLocalFiles(const QMimeData& data);

} // namespace korvane
