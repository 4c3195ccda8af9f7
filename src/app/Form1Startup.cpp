// Start-up and shutdown of the main window.
#include "Form1.h"

#include "Layout.h"
#include "Settings.h"
#include "StartupSteps.h"
#include "TabControl.h"
#include "filelist/FileListView.h"
#include "util/Constants.h"
#include "util/PathHelpers.h"
#include "util/Seams.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QWindow>

namespace korvane {

namespace {

QString readSetting(const QString& key, const QString& defaultValue) {
    return GetSetting(kSettingsOrganization, kSettingsSection, key, defaultValue);
}

QString settingsNotWritableText(const QString& fileName) {
    return QStringLiteral("Your settings could not be saved to ") + fileName +
           QStringLiteral(".\rYour choices stay in the window, but they will not be remembered "
                          "at the next start.");
}

void fillBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

void Form1::Form_Load() {
    ApplySkin();
    // The frame the window manager puts around the window is not known before it is shown: the
    // window is centred by its client size now and again by its outer size when first exposed.
    CenterForm(this);
    centreWhenFramed_ = true;
    setWindowTitle(kAppTitle);
    const QString icon = QStringLiteral(":/icons/korvane.svg");
    if (QFile::exists(icon))
        setWindowIcon(QIcon(icon));
    loadHandCursor();
    OpenHomePageOccasionally();
    ListView1->createColumn(
        QStringLiteral("Drag and drop GIF files here. Drag files up and down to change order."));
    restoreSettings();
    CreateToolbar();
    CreateMenu();
}

void Form1::ApplySkin() {
    const QChar separator = QDir::separator();
    const QString skinFile = services_.applicationFolder + separator + QStringLiteral("x") +
                             separator + QStringLiteral("o.cjs");
    if (!QFileInfo(skinFile).isFile())
        return;

    // The skin is drawn over the button-face colour, so the window and its option buttons,
    // check boxes, frames and labels take that colour first; other controls keep theirs.
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    fillBackground(this, buttonFace);
    for (QWidget* w : findChildren<QRadioButton*>())
        fillBackground(w, buttonFace);
    for (QWidget* w : findChildren<QCheckBox*>())
        fillBackground(w, buttonFace);
    for (QWidget* w : findChildren<QGroupBox*>())
        fillBackground(w, buttonFace);
    for (QWidget* w : findChildren<QLabel*>())
        fillBackground(w, buttonFace);

    QFile skin(skinFile);
    if (skin.open(QIODevice::ReadOnly))
        setStyleSheet(QString::fromUtf8(skin.readAll()));
}

void Form1::loadHandCursor() {
    const QString cursorFile =
        services_.applicationFolder + QDir::separator() + QStringLiteral("HAND-M.CUR");
    if (!FileExists(cursorFile))
        return;
    if (const auto cursor = LoadCursorFile(cursorFile))
        SetHandCursor(*cursor);
}

void Form1::OpenHomePageOccasionally() {
    services_.chance.seed(SecondsSinceMidnight(QTime::currentTime()));
    if (HomePageDraw(services_.chance.next()) == kHomePageDraw)
        services_.shell.open(kHomePage);
}

void Form1::restoreSettings() {
    // Each assignment runs the control's own change handling, which writes the value back.
    Text2->setText(readSetting(QStringLiteral("Text2"), GetDesktopFolder()));
    Text1->setText(readSetting(QStringLiteral("Delay"), QStringLiteral("1")));
    Option1->setChecked(
        StoredBoolean(readSetting(QStringLiteral("Option1"), QStringLiteral("1")), true));
    Option2->setChecked(
        StoredBoolean(readSetting(QStringLiteral("Option2"), QStringLiteral("0")), false));
    restoreMovieOptions();
    TabControl1->setCurrentIndex(
        StoredTabIndex(readSetting(QStringLiteral("TabControl1"), QStringLiteral("0"))));
}

void Form1::StoreSetting(const QString& key, const QString& value) {
    if (SaveSetting(kSettingsOrganization, kSettingsSection, key, value) || settingsWarningShown_)
        return;
    settingsWarningShown_ = true;
    services_.dialogs.message(this,
                              settingsNotWritableText(SettingsFileName(kSettingsOrganization)),
                              MessageIcon::Exclamation, kAppTitle);
}

void Form1::SaveFormPlacement() {
    const auto isNormal = [this] {
        return !(windowState() &
                 (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    };
    const QRect outer = frameGeometry();
    const double dots = dpi();
    const std::pair<QString, int> placement[] = {{QStringLiteral("Left"), outer.x()},
                                                 {QStringLiteral("Top"), outer.y()},
                                                 {QStringLiteral("Width"), outer.width()},
                                                 {QStringLiteral("Height"), outer.height()}};
    // The state is tested before every write, as the window may change it in between.
    for (const auto& [key, pixels] : placement) {
        if (isNormal())
            StoreSetting(key, QString::number(PixelsToTwips(pixels, dots)));
    }
}

void Form1::Form_Unload() {
    close();
}

void Form1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (centreWhenFramed_ && windowHandle())
        windowHandle()->installEventFilter(this); // eventFilter centres at the first exposure
}

void Form1::closeEvent(QCloseEvent* event) {
    closing_ = true;
    SaveFormPlacement();
    event->accept();
    // The window is the application: closing it ends the process at once, also in the middle of
    // a conversion, whose wait loop returns and whose converter is ended with its QProcess.
    QCoreApplication::exit(0);
}

} // namespace korvane
