#pragma once

#include "movie/Movie.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;

namespace korvane {

class Dialogs;

// The preview's own name, after the movie's file name in its window titles.
inline const QString kPreviewTitle = QStringLiteral("Korvane Preview");

// A file the preview opens rather than the file list: a regular file named *.swf (any case).
bool IsMovieFile(const QString& path);

// What the preview says about a movie: "320 x 240 pixels, 10 frames per second, 5 s (plays
// 3 times), 12 KB".
QString MovieFacts(const movie::Movie& movie, qint64 fileBytes);

// A window that plays one movie: at its frame rate, as often as it says, then still on its
// last frame. Each is a window of its own beside the main one and deletes itself when closed.
class PreviewWindow : public QWidget {
    Q_OBJECT
public:
    // Opens a preview of the movie at `path` and shows it; where the movie cannot be shown,
    // says why in a message box and returns nullptr.
    static PreviewWindow* Open(const QString& path, Dialogs& dialogs, QWidget* owner);

    enum class Zoom { Fit, Actual, Double };

    const movie::Movie& movie() const { return *movie_; }
    const movie::Playhead& playhead() const { return playhead_; }
    void setZoom(Zoom zoom);

    QPushButton* playButton = nullptr;
    QPushButton* replayButton = nullptr;
    QPushButton* backButton = nullptr;
    QPushButton* forwardButton = nullptr;
    QPushButton* firstButton = nullptr;
    QPushButton* lastButton = nullptr;
    QSlider* frameSlider = nullptr;
    QLabel* frameLabel = nullptr;
    QLabel* factsLabel = nullptr;
    QComboBox* zoomBox = nullptr;

private:
    PreviewWindow(std::unique_ptr<movie::Movie> movie, const QString& path, Dialogs& dialogs,
                  QWidget* owner);
    void playOrPause();
    void replay();
    void seek(int frame);
    void tick();
    // Draws the playhead's frame and brings the controls up to date.
    void showFrame();

    class Stage;
    std::unique_ptr<movie::Movie> movie_;
    movie::Playhead playhead_;
    Dialogs& dialogs_;
    QImage picture_;
    QTimer timer_;
    Stage* stage_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    bool broken_ = false;
};

} // namespace korvane
