#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

// Reads and draws the movies Korvane makes: bitmap-filled rectangles placed, moved and
// removed on a display list, frame by frame, with the converter's play-count actions.
// Anything else is refused with a sentence that names the first thing it cannot show and
// where. Bitmaps stay compressed in the file's bytes until a frame needs them.
namespace korvane::movie {

// What a frame's actions do to playback.
enum class FrameScript : uint8_t {
    None,
    Stop,      // stop on this frame
    SetPlays,  // start counting plays, unless already counting
    CountPlay, // one play done; stop on this frame when none is left
};

// A scale-and-translate matrix (no rotation or skew), from twips to twips or bitmap pixels to
// twips.
struct Scaling {
    double scaleX = 1;
    double scaleY = 1;
    double translateX = 0; // twips
    double translateY = 0;
};

class Movie {
public:
    // Reads a movie from its bytes, or returns nullptr with the sentence that says why not.
    static std::unique_ptr<Movie> read(const QByteArray& bytes, QString& refusal);
    static std::unique_ptr<Movie> readFile(const QString& path, QString& refusal);
    ~Movie();

    int width() const { return width_; } // stage size in pixels
    int height() const { return height_; }
    uint16_t frameRateFixed() const { return frameRate_; } // 8.8 fixed point, as stored
    double frameRate() const { return frameRate_ / 256.0; }
    int frameCount() const { return static_cast<int>(scripts_.size()); }
    // How often the movie plays: 0 for ever.
    uint32_t plays() const;
    FrameScript script(int frame) const { return scripts_.at(static_cast<size_t>(frame)); }
    uint32_t playsSet() const { return playsSet_; } // the count a SetPlays frame starts
    QRgb background() const { return background_; }

    // Draws frame `frame` (from 0) into `stage`, which becomes width() x height(); false with
    // the sentence that says why when a bitmap is damaged.
    bool draw(int frame, QImage& stage, QString* refusal = nullptr);

    // The most bytes of decoded bitmaps kept for the next frames (one larger bitmap is still
    // decoded for the frame that needs it).
    void setCacheLimit(size_t bytes);
    size_t cachedBytes() const { return cachedBytes_; }

    struct Bitmap;
    struct Shape;
    struct Change;

private:
    Movie();
    struct Placed {
        int shape = -1;
        Scaling matrix;
    };
    bool parse(QString& refusal);
    void apply(const Change& change);
    struct Decoded;
    std::shared_ptr<const Decoded> decode(int bitmap, QString* refusal);
    void drawShape(const Placed& placed, const Decoded& decoded, QImage& stage) const;
    void evictDownTo(size_t bytes);

    QFile file_; // the file, when it is mapped
    QByteArray bytes_;
    QByteArray body_; // from the tags on (inflated for a compressed movie)
    int width_ = 0;
    int height_ = 0;
    uint16_t frameRate_ = 0;
    int32_t stageLeft_ = 0; // twips
    int32_t stageTop_ = 0;
    QRgb background_ = 0xFFFFFFFF;
    uint32_t playsSet_ = 0;
    std::vector<Bitmap> bitmaps_;
    std::vector<Shape> shapes_;
    std::vector<Change> changes_;
    std::vector<uint32_t> firstChange_; // per frame, into changes_; one more at the end
    std::vector<FrameScript> scripts_;

    // The display list after `shownFrame_`, so that playing on applies one frame's changes.
    std::map<uint16_t, Placed> layers_;
    int shownFrame_ = -1;

    // Decoded bitmaps, most recently used first.
    std::list<int> recent_;
    std::unordered_map<int, std::shared_ptr<const Decoded>> cache_;
    size_t cachedBytes_ = 0;
    size_t cacheLimit_ = size_t{256} << 20;
};

// Playback as a Flash player runs it: frame after frame at the frame rate, round again after
// the last, running each frame's actions as it is shown.
class Playhead {
public:
    explicit Playhead(const Movie& movie);
    int frame() const { return frame_; }
    bool playing() const { return playing_; }
    // From the first frame with no plays counted, playing.
    void restart();
    void play();
    void pause() { playing_ = false; }
    // Shows a frame without running its actions, and pauses.
    void seek(int frame);
    // The next frame, when playing.
    void tick();

private:
    void enter(int frame);
    const Movie& movie_;
    int frame_ = 0;
    bool playing_ = false;
    bool finished_ = false;
    int64_t playsLeft_ = 0; // 0: not counting
};

} // namespace korvane::movie
