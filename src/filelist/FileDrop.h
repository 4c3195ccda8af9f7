#pragma once

#include <QStringList>

#include <optional>

class QMimeData;

namespace korvane {

// The dropped items as native paths when the data is a list of local files (the only thing the
// list takes from a drag); nothing for any other data, also when one of the addresses is not a
// local file.
std::optional<QStringList> DroppedLocalFiles(const QMimeData& data);

} // namespace korvane
