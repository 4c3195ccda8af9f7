#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

// The lines of --progress: "progress DONE/TOTAL" (frames of the movie written of those
// planned), one when the plan is known, then one whenever DONE has grown by 1 % of TOTAL or
// DONE changed and 100 ms have passed since the last line, and the last when the movie is
// complete. The application reads them from a pipe to move its progress bar, so a large
// movie gives about a hundred lines, and a slow one still one every 100 ms or so.
namespace gif2swf {

class ProgressLines {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // `write` receives each line with its "\n"; `clock` tells the time (the steady clock
    // unless a test gives its own).
    explicit ProgressLines(std::function<void(const std::string&)> write, Clock clock = {});

    // DONE frames of TOTAL: writes a line when one is due. The first call writes one,
    // and so does the first with DONE equal to TOTAL.
    void update(uint32_t done, uint32_t total);

    // The text of a line.
    static std::string line(uint32_t done, uint32_t total);

private:
    std::function<void(const std::string&)> write_;
    Clock clock_;
    bool started_ = false;
    uint32_t lastDone_ = 0;
    std::chrono::steady_clock::time_point lastTime_;
};

} // namespace gif2swf
