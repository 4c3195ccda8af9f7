// libFuzzer target: the movie reader on any bytes, then a few frames drawn and played.
#include "movie/Movie.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using korvane::movie::Movie;
    QString refusal;
    const auto movie =
        Movie::read(QByteArray(reinterpret_cast<const char*>(data), int(size)), refusal);
    if (!movie) {
        return 0;
    }
    // Drawing is bounded by the stage times the layers; small stages keep each input quick.
    if (int64_t(movie->width()) * movie->height() > 256 * 256) {
        return 0;
    }
    movie->setCacheLimit(size_t{1} << 20);
    QImage stage;
    const int last = movie->frameCount() - 1;
    for (const int frame : {0, last / 2, last, 0}) {
        movie->draw(frame, stage, &refusal);
    }
    korvane::movie::Playhead playhead(*movie);
    for (int i = 0; i < 200 && playhead.playing(); ++i) {
        playhead.tick();
    }
    return 0;
}
