#pragma once

#include "util/Seams.h"

#include <cstdint>

namespace korvane {

// A failed start is reported as this base plus an error number, taken as a signed 32-bit value,
// so every start failure is negative and no real exit code is mistaken for one.
inline constexpr std::uint32_t kStartFailureBase = 0x80040000u;
inline constexpr int kProgramNotFound = 53;      // "File not found": no such program
inline constexpr int kPermissionDenied = 70;     // the program exists but may not be executed
inline constexpr int kStartFailedOtherwise = 75; // "Path/File access error": any other cause

int StartFailureCode(int errorNumber);
bool IsStartFailureCode(int exitCode);

// The show-window style a process is started with: absent, or outside 0 to 6, gives 6
// (minimised without focus); 0 to 6 pass unchanged.
int SettleWindowStyle(std::optional<int> windowStyle);

// Runs programs with QProcess. The end of a child is noticed the moment it happens, through the
// event loop, so the window keeps painting and reacting meanwhile. On Windows the child starts with
// the settled window style and without a console window.
class QtProcessRunner : public ProcessRunner {
public:
    std::unique_ptr<StartedProcess> start(const QString& program, const QStringList& arguments,
                                          std::optional<int> windowStyle,
                                          ProcessHandlers handlers) override;
};

} // namespace korvane
