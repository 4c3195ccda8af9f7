#include "PreviewWindow.h"

#include "util/Seams.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSlider>
#include <QStyle>

namespace korvane {

namespace {

// "walk.swf - Korvane Preview".
QString WindowTitleFor(const QString& path) {
    return QFileInfo(path).fileName() + QStringLiteral(" - ") + kPreviewTitle;
}

} // namespace

bool IsMovieFile(const QString& path) {
    return path.endsWith(QStringLiteral(".swf"), Qt::CaseInsensitive) && QFileInfo(path).isFile();
}

QString MovieFacts(const movie::Movie& movie, qint64 fileBytes) {
    const double rate = movie.frameRate();
    QString duration = QStringLiteral("no set length");
    if (rate > 0) {
        const double seconds = movie.frameCount() / rate;
        duration = QStringLiteral("%1 s").arg(QString::number(seconds, 'f', seconds < 10 ? 2 : 1));
    }
    const uint32_t plays = movie.plays();
    const QString playing = plays == 0   ? QStringLiteral("plays for ever")
                            : plays == 1 ? QStringLiteral("plays once")
                                         : QStringLiteral("plays %1 times").arg(plays);
    return QStringLiteral("%1 x %2 pixels, %3 frames per second, %4 (%5), %6")
        .arg(movie.width())
        .arg(movie.height())
        .arg(QString::number(rate, 'g', 8), duration, playing,
             QLocale::c().formattedDataSize(fileBytes, 1, QLocale::DataSizeTraditionalFormat));
}

// The picture at the chosen zoom: fitted into the window, or 1 or 2 screen pixels a pixel.
// Enlarged pixels stay sharp squares.
class PreviewWindow::Stage : public QWidget {
public:
    Stage(const QImage& picture, QWidget* parent) : QWidget(parent), picture_(picture) {}
    Zoom zoom = Zoom::Fit;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QRect target(QPoint(0, 0), picture_.size() * (zoom == Zoom::Double ? 2 : 1));
        if (zoom == Zoom::Fit) {
            target.setSize(picture_.size().scaled(size(), Qt::KeepAspectRatio));
            target.moveCenter(rect().center());
        }
        const bool shrunk = target.width() < picture_.width();
        painter.setRenderHint(QPainter::SmoothPixmapTransform, shrunk);
        painter.drawImage(target, picture_);
    }

private:
    const QImage& picture_;
};

PreviewWindow* PreviewWindow::Open(const QString& path, Dialogs& dialogs, QWidget* owner) {
    QString refusal;
    auto movie = movie::Movie::readFile(path, refusal);
    if (!movie) {
        dialogs.message(owner, refusal, MessageIcon::Exclamation, WindowTitleFor(path));
        return nullptr;
    }
    auto* window = new PreviewWindow(std::move(movie), path, dialogs, owner);
    window->show();
    return window;
}

PreviewWindow::PreviewWindow(std::unique_ptr<movie::Movie> movie, const QString& path,
                             Dialogs& dialogs, QWidget* owner)
    : QWidget(owner, Qt::Window), movie_(std::move(movie)), playhead_(*movie_), dialogs_(dialogs) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(WindowTitleFor(path));
    setAccessibleName(windowTitle());

    stage_ = new Stage(picture_, this);
    stage_->setAccessibleName(QStringLiteral("Movie"));
    stage_->setObjectName(QStringLiteral("stage"));
    stage_->setMinimumSize(std::min(movie_->width(), 160), std::min(movie_->height(), 120));
    scroll_ = new QScrollArea(this);
    scroll_->setWidget(stage_);
    scroll_->setWidgetResizable(true);
    scroll_->setAlignment(Qt::AlignCenter);
    scroll_->setFocusPolicy(Qt::NoFocus);

    // The stepping buttons show the usual media symbols; their names say what they do.
    const auto button = [this](QStyle::StandardPixmap icon, const QString& caption,
                               const QString& name, auto slot) {
        auto* pushButton = new QPushButton(style()->standardIcon(icon), caption, this);
        pushButton->setAccessibleName(name);
        pushButton->setAutoDefault(false);
        connect(pushButton, &QPushButton::clicked, this, slot);
        return pushButton;
    };
    replayButton = button(QStyle::SP_BrowserReload, QStringLiteral("&Replay"),
                          QStringLiteral("Replay"), &PreviewWindow::replay);
    firstButton = button(QStyle::SP_MediaSkipBackward, QString(), QStringLiteral("First frame"),
                         [this] { seek(0); });
    backButton = button(QStyle::SP_MediaSeekBackward, QString(), QStringLiteral("One frame back"),
                        [this] { seek(playhead_.frame() - 1); });
    playButton = button(QStyle::SP_MediaPause, QStringLiteral("Pause"),
                        QStringLiteral("Play or pause"), &PreviewWindow::playOrPause);
    forwardButton =
        button(QStyle::SP_MediaSeekForward, QString(), QStringLiteral("One frame forward"),
               [this] { seek(playhead_.frame() + 1); });
    lastButton = button(QStyle::SP_MediaSkipForward, QString(), QStringLiteral("Last frame"),
                        [this] { seek(movie_->frameCount() - 1); });
    firstButton->setToolTip(QStringLiteral("First frame (Home)"));
    backButton->setToolTip(QStringLiteral("One frame back (Left)"));
    playButton->setToolTip(QStringLiteral("Play or pause (Space)"));
    forwardButton->setToolTip(QStringLiteral("One frame forward (Right)"));
    lastButton->setToolTip(QStringLiteral("Last frame (End)"));

    frameSlider = new QSlider(Qt::Horizontal, this);
    frameSlider->setRange(0, movie_->frameCount() - 1);
    frameSlider->setAccessibleName(QStringLiteral("Frame"));
    connect(frameSlider, &QSlider::valueChanged, this, [this](int frame) {
        if (frame != playhead_.frame()) {
            seek(frame);
        }
    });
    frameLabel = new QLabel(this);
    frameLabel->setAccessibleName(QStringLiteral("Frame number"));
    zoomBox = new QComboBox(this);
    zoomBox->addItems({QStringLiteral("Fit"), QStringLiteral("100 %"), QStringLiteral("200 %")});
    zoomBox->setAccessibleName(QStringLiteral("Zoom"));
    connect(zoomBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) { setZoom(static_cast<Zoom>(index)); });
    factsLabel = new QLabel(MovieFacts(*movie_, QFileInfo(path).size()), this);
    factsLabel->setAccessibleName(QStringLiteral("About the movie"));
    factsLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    auto* position = new QHBoxLayout;
    position->addWidget(frameSlider, 1);
    position->addWidget(frameLabel);
    auto* controls = new QHBoxLayout;
    for (QWidget* control : std::initializer_list<QWidget*>{
             replayButton, firstButton, backButton, playButton, forwardButton, lastButton}) {
        controls->addWidget(control);
    }
    controls->addStretch(1);
    auto* zoomLabel = new QLabel(QStringLiteral("&Zoom:"), this);
    zoomLabel->setBuddy(zoomBox);
    controls->addWidget(zoomLabel);
    controls->addWidget(zoomBox);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll_, 1);
    layout->addLayout(position);
    layout->addLayout(controls);
    layout->addWidget(factsLabel);

    const auto key = [this](QKeySequence sequence, auto slot) {
        connect(new QShortcut(sequence, this), &QShortcut::activated, this, slot);
    };
    key(Qt::Key_Space, &PreviewWindow::playOrPause);
    key(Qt::Key_Left, [this] { seek(playhead_.frame() - 1); });
    key(Qt::Key_Right, [this] { seek(playhead_.frame() + 1); });
    key(Qt::Key_Home, [this] { seek(0); });
    key(Qt::Key_End, [this] { seek(movie_->frameCount() - 1); });
    key(Qt::Key_Escape, &QWidget::close);

    // One tick a frame, at the rate as stored (a rate of 0 plays as fast as 1/256 s a frame).
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(static_cast<int>(1000.0 * 256 / std::max<int>(movie_->frameRateFixed(), 1)));
    connect(&timer_, &QTimer::timeout, this, &PreviewWindow::tick);
    const QSize stage(movie_->width(), movie_->height());
    resize(stage.boundedTo(QSize(1000, 700)).expandedTo(QSize(560, 200)) + QSize(40, 110));
    showFrame();
}

void PreviewWindow::setZoom(Zoom zoom) {
    stage_->zoom = zoom;
    zoomBox->setCurrentIndex(static_cast<int>(zoom));
    scroll_->setWidgetResizable(zoom == Zoom::Fit);
    if (zoom != Zoom::Fit) {
        stage_->resize(picture_.size() * (zoom == Zoom::Double ? 2 : 1));
    }
    stage_->update();
}

void PreviewWindow::playOrPause() {
    if (playhead_.playing()) {
        playhead_.pause();
    } else {
        playhead_.play();
    }
    showFrame();
}

void PreviewWindow::replay() {
    playhead_.restart();
    showFrame();
}

void PreviewWindow::seek(int frame) {
    playhead_.seek(frame);
    showFrame();
}

void PreviewWindow::tick() {
    playhead_.tick();
    showFrame();
}

void PreviewWindow::showFrame() {
    QString refusal;
    if (!broken_ && !movie_->draw(playhead_.frame(), picture_, &refusal)) {
        // A bitmap that cannot be decoded: say so once, and show what there is.
        broken_ = true;
        playhead_.pause();
        dialogs_.message(this, refusal, MessageIcon::Exclamation, windowTitle());
    }
    const bool playing = playhead_.playing() && !broken_;
    if (playing != timer_.isActive()) {
        playing ? timer_.start() : timer_.stop();
    }
    playButton->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
    playButton->setIcon(
        style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    frameLabel->setText(
        QStringLiteral("Frame %1 of %2").arg(playhead_.frame() + 1).arg(movie_->frameCount()));
    const QSignalBlocker quiet(frameSlider);
    frameSlider->setValue(playhead_.frame());
    stage_->update();
}

} // namespace korvane
