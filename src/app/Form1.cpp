#include "Form1.h"

#include "Layout.h"
#include "TabControl.h"
#include "filelist/FileListView.h"
#include "util/Constants.h"
#include "util/PathHelpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QToolBar>
#include <QWindow>

namespace korvane {

namespace {

QFont calibri(double points, bool bold) {
    QFont font(QStringLiteral("Calibri"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// Creates a control and gives it its design name, by which tests and style sheets find it.
template <class Control, class... Args> Control* named(const char* name, Args&&... args) {
    auto* control = new Control(std::forward<Args>(args)...);
    control->setObjectName(QLatin1String(name));
    return control;
}

} // namespace

Form1::Form1(const Form1Services& services, QWidget* parent)
    : QWidget(parent), services_(services) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    createControls();
    setFonts();
    placeControls(); // after the fonts, which decide where the tab pages start
    setTabOrder();
    watchPointerMoves();
    connectOptionEvents();
    connectFileListEvents();
    connectCommandEvents();
    showPlays(DefaultPlays(Option1->isChecked()));
    showBackground(kDefaultBackground);
    const double dots = dpi();
    resize(TwipsToPixels(kDesignClientWidth, dots), TwipsToPixels(kDesignClientHeight, dots));
}

Form1::~Form1() = default;

void Form1::createControls() {
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white); // the frames, options and label show it through

    Creator = named<QLabel>("Creator", this);
    Creator->hide(); // part of the window's design, but nothing uses it

    ProgressBar1 = named<QProgressBar>("ProgressBar1", this);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    TabControl1 = named<TabControl>("TabControl1", this);
    auto* filesPage = named<QWidget>("GifFilesPage");
    auto* optionsPage = named<QWidget>("ConversionOptionsPage");
    TabControl1->addTab(filesPage, QStringLiteral("GIF Files"));
    TabControl1->addTab(optionsPage, QStringLiteral("Conversion Options"));

    ListView1 = named<FileListView>("ListView1", filesPage);

    Frame1 = named<QGroupBox>("Frame1", QStringLiteral("Many To One vs. One To One"), optionsPage);
    Option1 = named<QRadioButton>(
        "Option1", QStringLiteral("Convert many GIF files to one animated SWF file (many to one)"),
        Frame1);
    Option1->setChecked(true);
    Label1 = named<QLabel>("Label1", QStringLiteral("Delay between images (in seconds):"), Frame1);
    Text1 = named<QLineEdit>("Text1", Frame1);
    // Screen readers name the box by its label, not by the frame's title.
    Label1->setBuddy(Text1);
    Option2 = named<QRadioButton>(
        "Option2", QStringLiteral("Convert each GIF file into a SWF file (one to one)"), Frame1);

    Frame2 = named<QGroupBox>("Frame2", QStringLiteral("Save Results To This Folder"), optionsPage);
    Text2 = named<QLineEdit>("Text2", Frame2);
    PushButton2 = named<QPushButton>("PushButton2", QStringLiteral("..."), Frame2);

    PushButton1 = named<QPushButton>(
        "PushButton1", QStringLiteral("Download \"Flash Movie Player\" To View SWF File Results"),
        optionsPage);

    Frame3 = named<QGroupBox>("Frame3", QStringLiteral("The Movie"), optionsPage);
    // Each control is known to screen readers by its label.
    const auto labelled = [](QLabel* label, QWidget* control) {
        label->setBuddy(control);
        control->setAccessibleName(label->text());
    };
    Label2 = named<QLabel>("Label2", QStringLiteral("Movie name:"), Frame3);
    Text3 = named<QLineEdit>("Text3", kManyToOneMovieName, Frame3);
    labelled(Label2, Text3);
    Check1 = named<QCheckBox>("Check1", QStringLiteral("Use each GIF's own timing"), Frame3);
    Check1->setAccessibleName(Check1->text());
    Label3 = named<QLabel>("Label3", QStringLiteral("Plays:"), Frame3);
    Combo1 = named<QComboBox>("Combo1", Frame3);
    Combo1->addItems({QStringLiteral("As the GIF says"), QStringLiteral("Loop for ever"),
                      QStringLiteral("Once"), QStringLiteral("N times")});
    labelled(Label3, Combo1);
    Spin1 = named<QSpinBox>("Spin1", Frame3);
    Spin1->setRange(kPlaysOnce + 1, kMostPlays);
    Spin1->setAccessibleName(QStringLiteral("N times"));
    Label4 = named<QLabel>("Label4", QStringLiteral("Size (%):"), Frame3);
    Spin2 = named<QSpinBox>("Spin2", Frame3);
    Spin2->setRange(kSmallestScale, kLargestScale);
    Spin2->setValue(kNormalScale);
    labelled(Label4, Spin2);
    Label5 = named<QLabel>("Label5", QStringLiteral("Background colour:"), Frame3);
    PushButton3 = named<QPushButton>("PushButton3", Frame3);
    labelled(Label5, PushButton3);

    MenuBar = named<QMenuBar>("MenuBar", this);
    StandardToolBar = named<QToolBar>("Standard", QStringLiteral("Standard"), this);
}

void Form1::placeControls() {
    // Design positions in twips; the page controls in the tab control's coordinates.
    setGeometryTwips(Creator, 1320, 0, 735, 840);
    setGeometryTwips(ProgressBar1, 120, 5880, 6360, 405);
    setGeometryTwips(TabControl1, 120, 1620, 7920, 3855);
    setGeometryTwips(ListView1, 240, 585, 5400, 2295);
    setGeometryTwips(Frame1, 240, 480, 7080, 1530);
    setGeometryTwips(Option1, 240, 300, 6375, 255);
    setGeometryTwips(Label1, 600, 700, 3345, 270);
    setGeometryTwips(Text1, 4080, 650, 735, 390);
    setGeometryTwips(Option2, 240, 1100, 5415, 270);
    setGeometryTwips(Frame2, 240, 2070, 7080, 850);
    setGeometryTwips(Text2, 240, 300, 5775, 390);
    setGeometryTwips(PushButton2, 6120, 300, 705, 390);
    setGeometryTwips(PushButton1, 240, 3060, 7065, 390);
    // The movie options: labels in one column, their controls in the next.
    setGeometryTwips(Frame3, 240, 3540, 7080, 2000);
    setGeometryTwips(Label2, 240, 325, 2000, 270);
    setGeometryTwips(Text3, 2300, 280, 3200, 360);
    setGeometryTwips(Check1, 240, 730, 5000, 300);
    setGeometryTwips(Label3, 240, 1165, 2000, 270);
    setGeometryTwips(Combo1, 2300, 1120, 2300, 360);
    setGeometryTwips(Spin1, 4700, 1120, 1100, 360);
    setGeometryTwips(Label4, 240, 1585, 2000, 270);
    setGeometryTwips(Spin2, 2300, 1540, 1100, 360);
    setGeometryTwips(Label5, 3700, 1585, 2000, 270);
    setGeometryTwips(PushButton3, 5750, 1540, 1200, 360);
}

void Form1::setFonts() {
    setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    const QFont controls = calibri(11.25, true);
    for (QWidget* w : std::initializer_list<QWidget*>{
             ProgressBar1, Frame1,      Frame2,    Option1, Option2, Label1, Text1,
             Text2,        PushButton2, ListView1, Frame3,  Label2,  Text3,  Check1,
             Label3,       Combo1,      Spin1,     Label4,  Spin2,   Label5, PushButton3})
        w->setFont(controls);
    ListView1->header()->setFont(controls);
    TabControl1->tabBar()->setFont(calibri(15.75, false));
    PushButton1->setFont(calibri(14.25, true));
}

void Form1::setTabOrder() {
    // The window's tab order: the tab control, the list, then the options page from the second
    // option down to the player button, and the movie options below it.
    const QList<QWidget*> chain = {TabControl1, ListView1,   Option2,     Option1,    Text1,
                                   Text2,       PushButton2, PushButton1, Text3,      Check1,
                                   Combo1,      Spin1,       Spin2,       PushButton3};
    for (int i = 0; i + 1 < chain.size(); ++i)
        QWidget::setTabOrder(chain[i], chain[i + 1]);
}

void Form1::watchPointerMoves() {
    // The window itself stands for its own background.
    const QList<QWidget*> watched = {this,
                                     ProgressBar1,
                                     Frame1,
                                     Frame2,
                                     Label1,
                                     Option1,
                                     Option2,
                                     Text1,
                                     Text2,
                                     TabControl1,
                                     PushButton1,
                                     PushButton2,
                                     ListView1->viewport(),
                                     TabControl1->tabBar(),
                                     TabControl1->widget(0),
                                     TabControl1->widget(1)};
    for (QWidget* w : watched) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    hoverControls_ = watched;
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose && watched == windowHandle() && centreWhenFramed_) {
        // By the first exposure the window manager has framed the window.
        centreWhenFramed_ = false;
        watched->removeEventFilter(this);
        CenterForm(this);
    }
    if (event->type() == QEvent::MouseMove) {
        // A move that a control leaves unhandled travels on to its containers; only the
        // innermost control under the mouse decides the pointer.
        auto* widget = static_cast<QWidget*>(watched);
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        for (QWidget* inner = widget->childAt(at); inner && inner != widget;
             inner = inner->parentWidget())
            if (hoverControls_.contains(inner))
                return QWidget::eventFilter(watched, event);
        const bool overButton = watched == PushButton1 || watched == PushButton2;
        SetMousePointer(HoverPointer(pointer_, overButton));
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::SetMousePointer(MousePointer pointer) {
    pointer_ = pointer;
    switch (pointer) {
    case MousePointer::Default:
        unsetCursor();
        break;
    case MousePointer::Busy:
        setCursor(Qt::WaitCursor);
        break;
    case MousePointer::Hand:
        setCursor(handCursor_);
        break;
    }
}

void Form1::SetHandCursor(const QCursor& cursor) {
    handCursor_ = cursor;
    if (pointer_ == MousePointer::Hand)
        setCursor(handCursor_);
}

double Form1::dpi() const {
    return logicalDpiY() > 0 ? logicalDpiY() : 96.0;
}

void Form1::setGeometryTwips(QWidget* widget, int left, int top, int width, int height) {
    const double dots = dpi();
    QPoint origin(TwipsToPixels(left, dots), TwipsToPixels(top, dots));
    // Controls on the tab pages are given in the tab control's coordinates.
    if (widget->parentWidget() == TabControl1->widget(0) ||
        widget->parentWidget() == TabControl1->widget(1))
        origin -= pageOffset();
    widget->setGeometry(
        QRect(origin, QSize(TwipsToPixels(width, dots), TwipsToPixels(height, dots))));
}

QPoint Form1::pageOffset() const {
    // Qt's tab headers can be taller than the window's design allows for; the page's content then
    // starts lower by the difference, so that no control reaches up into the headers.
    const QPoint origin = TabControl1->pageOrigin();
    const int highestDesignTop = TwipsToPixels(480, dpi()); // Frame1
    return {origin.x(), std::min(origin.y(), highestDesignTop)};
}

void Form1::placeCommandBars() {
    const int menuHeight = MenuBar->sizeHint().height();
    MenuBar->setGeometry(0, 0, width(), menuHeight);
    StandardToolBar->setGeometry(0, menuHeight, width(), StandardToolBar->sizeHint().height());
}

void Form1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeCommandBars();
    ApplyLayout();
}

void Form1::ApplyLayout() {
    if (isMinimized() || layingOut_)
        return;
    layingOut_ = true;
    // Let pending messages through once, as the window always has; a resize handled in here is
    // covered by this run, which reads the client size afterwards.
    QCoreApplication::processEvents();
    layingOut_ = false;
    if (isMinimized())
        return;

    const double dots = dpi();
    const auto layout = ComputeLayout(PixelsToTwips(width(), dots), PixelsToTwips(height(), dots),
                                      isMinimized(), ListView1->hasColumn());
    if (!layout)
        return;
    const auto px = [dots](int twips) { return TwipsToPixels(twips, dots); };

    const QRect tab = TabControl1->geometry();
    TabControl1->setGeometry(tab.x(), px(layout->tabTop), px(layout->tabWidth),
                             px(layout->tabHeight));
    ListView1->resize(px(layout->listWidth), px(layout->listHeight));
    Frame1->resize(px(layout->frameWidth), Frame1->height());
    Frame2->resize(px(layout->frameWidth), Frame2->height());
    Frame3->resize(px(layout->frameWidth), Frame3->height());
    PushButton1->resize(px(layout->pushButton1Width), PushButton1->height());
    Text2->resize(px(layout->text2Width), Text2->height());
    PushButton2->move(px(layout->pushButton2Left), PushButton2->y());
    ProgressBar1->move(ProgressBar1->x(), px(layout->progressTop));
    if (layout->progressWidth)
        ProgressBar1->resize(px(*layout->progressWidth), ProgressBar1->height());
}

} // namespace korvane
