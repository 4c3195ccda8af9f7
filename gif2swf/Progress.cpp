#include "Progress.h"

namespace gif2swf {

ProgressLines::ProgressLines(std::function<void(const std::string&)> write, Clock clock)
    : write_(std::move(write)), clock_(std::move(clock)) {
    if (!clock_) {
        clock_ = [] { return std::chrono::steady_clock::now(); };
    }
}

std::string ProgressLines::line(uint32_t done, uint32_t total) {
    return "progress " + std::to_string(done) + "/" + std::to_string(total) + "\n";
}

void ProgressLines::update(uint32_t done, uint32_t total) {
    if (started_ && (done == lastDone_ || done < lastDone_)) {
        return;
    }
    const auto now = clock_();
    const bool due = !started_ || done >= total ||
                     uint64_t(done - lastDone_) * 100 >= uint64_t(total) ||
                     now - lastTime_ >= std::chrono::milliseconds(100);
    if (!due) {
        return;
    }
    started_ = true;
    lastDone_ = done;
    lastTime_ = now;
    write_(line(done, total));
}

} // namespace gif2swf
