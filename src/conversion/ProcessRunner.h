#pragma once

#include "util/Seams.h"

namespace korvane {

// Runs a program with QProcess and waits for its end inside a local event loop, so the window
// keeps painting and reacting while a converter runs.
class QtProcessRunner : public ProcessRunner {
public:
    ProcessResult runAndWait(const QString& program, const QStringList& arguments,
                             std::optional<int> windowStyle = std::nullopt) override;
};

} // namespace korvane
