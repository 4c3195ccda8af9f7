#pragma once

#include "MousePointer.h"
#include "conversion/MovieOptions.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QString>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolBar;

namespace korvane {

class Chance;
class ConversionRun;
class Dialogs;
class FileListView;
class FolderScan;
struct DroppedFiles;
class ProcessRunner;
class Shell;
class TabControl;

// What the main window needs from the outside world; tests hand in doubles.
struct Form1Services {
    Dialogs& dialogs;
    Shell& shell;
    ProcessRunner& runner;
    Chance& chance;
    QString applicationFolder; // the folder of the executable, without a trailing separator
};

// The application's one working window: the command bars at the top, a tab control with the
// file list ("GIF Files") and the options ("Conversion Options"), and a progress bar. It owns
// the controls and exposes the operations that the commands run.
class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(const Form1Services& services, QWidget* parent = nullptr);
    ~Form1() override;

    // --- Start-up and shutdown (app/Form1Startup.cpp) ---
    // Everything that happens before the window is first shown, in its fixed order.
    void Form_Load();
    void ApplySkin();
    void OpenHomePageOccasionally();
    void SaveFormPlacement();
    // Saves the placement and ends the application; the window's close box and the Exit
    // command both come here.
    void Form_Unload();
    // Writes one key of the settings store. The first write that fails in a session tells the
    // user once; the value stays in its control either way.
    void StoreSetting(const QString& key, const QString& value);

    // --- Operations run by the menus and the toolbar ---
    // File list (filelist/Form1FileList.cpp)
    void AddFiles();
    void AddFolder();
    void ClearSelected();
    void ClearList();

    // Conversion (conversion/Form1Conversion.cpp)
    void Start();
    // Ends a run in progress: its running converters end the clean way, the movies already made
    // stay, and one message says what was made and what was not.
    void Stop();

    // Commands, help, samples and web links (commands/Form1Commands.cpp)
    void CreateToolbar();
    void CreateMenu();
    void CommandBars_Execute(int commandId);
    void Help();
    void LoadSample();
    void PlayDemoVideo();
    void OpenFaqPage();
    void OpenHomePage();
    // Asks for a movie and opens it in a preview window of its own.
    void OpenMovie();

    // --- Event handlers of the controls ---
    // Conversion options (conversion/Form1Options.cpp)
    void Option_Click();
    void Text1_Change();
    void Text1_LostFocus();
    void Text2_Change();
    void PushButton2_Click();
    // The movie options
    void Text3_Change();
    void Check1_Click();
    void Combo1_Click();
    void Spin1_Change();
    void Spin2_Change();
    void PushButton3_Click();
    // The movie options as the controls show them (the movie name as typed).
    MovieOptions movieOptions() const;

    // Player download link (commands/Form1Commands.cpp)
    void PushButton1_Click();
    void TabControl1_SelectedChanged();

    // --- The window's pointer ---
    MousePointer mousePointer() const { return pointer_; }
    void SetMousePointer(MousePointer pointer);
    // The image behind the hand pointer; the arrow until one is loaded.
    void SetHandCursor(const QCursor& cursor);

    // Lays the controls out for the current client size.
    void ApplyLayout();

    // True while Start runs; the commands that change the list or start a run are refused then.
    bool conversionRunning() const { return conversionRunning_; }
    // True while Add Folder or a drop is still reading folders into the list.
    bool addingFiles() const { return addingFiles_; }

Q_SIGNALS:
    void conversionRunningChanged(bool running);

public:
    // --- Controls, named as in the window's design ---
    QLabel* Creator = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    TabControl* TabControl1 = nullptr;
    FileListView* ListView1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* Option1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLineEdit* Text2 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QGroupBox* Frame3 = nullptr; // the movie options
    QLabel* Label2 = nullptr;
    QLineEdit* Text3 = nullptr;  // movie name
    QCheckBox* Check1 = nullptr; // each GIF's own timing
    QLabel* Label3 = nullptr;
    QComboBox* Combo1 = nullptr; // plays
    QSpinBox* Spin1 = nullptr;   // how many times
    QLabel* Label4 = nullptr;
    QSpinBox* Spin2 = nullptr; // size in percent
    QLabel* Label5 = nullptr;
    QPushButton* PushButton3 = nullptr; // background colour
    QMenuBar* MenuBar = nullptr;
    QToolBar* StandardToolBar = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void setFonts();
    void placeControls();
    QPoint pageOffset() const;
    void setTabOrder();
    void watchPointerMoves();
    void placeCommandBars();
    double dpi() const;
    void setGeometryTwips(QWidget* widget, int left, int top, int width, int height);
    // Each concern connects the controls' notifications to its handlers.
    void connectOptionEvents();
    void connectFileListEvents();
    void connectCommandEvents();

    Form1Services services_;
    MousePointer pointer_ = MousePointer::Default;
    QCursor handCursor_{Qt::ArrowCursor};
    bool layingOut_ = false;
    bool conversionRunning_ = false;
    // Set when the window closes; work still going on (a folder scan) ends at its next step.
    bool closing_ = false;
    QList<QWidget*> hoverControls_;

    // --- Start-up, shutdown and settings ---
    void loadHandCursor();
    void restoreSettings();
    bool settingsWarningShown_ = false;
    // Set at load: the window is centred again by its outer size once its frame is known.
    bool centreWhenFramed_ = false;
    bool delayCheckShowing_ = false;
    // Set once the user chose how often movies play (or a choice was restored); until then
    // "Plays:" follows the mode's default.
    bool playsChosen_ = false;
    QColor background_ = kDefaultBackground;
    void showPlays(int plays);
    void showBackground(const QColor& colour);
    void restoreMovieOptions();

    // --- File list ---
    // The list's notifications (filelist/Form1FileList.cpp).
    void ListView1_MouseDown(const QPoint& position);
    void ListView1_ItemClick();
    void ListView1_MouseMove(const QPoint& position, const QPoint& screenPosition);
    void ListView1_MouseUp();
    void ListView1_KeyDown();
    void ListView1_DblClick();
    void ListView1_OLEDragDrop(const DroppedFiles& dropped);
    void ListView1_EntryAboutToBeRemoved(int index);
    void RemoveCurrentEntry();
    // The reports after a scan: what could not be read, then names that are not valid text
    // (those of dropped items first).
    void ReportScanOutcome(const FolderScan& scan, const QStringList& invalidDropped = {});
    bool addingFiles_ = false;
    // The row that a reordering drag moves (1-based; 0 for none). Rows stay where they are when
    // two entries exchange their texts, so a row number names the row until a removal.
    int DragItem = 0;
    // From a press of any button on the list until the next release on it.
    bool MouseIsDown = false;

    // --- Conversion ---
    // Marks the start and the end of a run for the commands that must wait for it.
    void setConversionRunning(bool running);
    // The run in progress, for Stop.
    ConversionRun* run_ = nullptr;
    // Since the last Start: a Stop within the double-click interval is part of the same double
    // click.
    QElapsedTimer startClicked_;

    // --- Command bars ---
    // Enables or disables the commands that change the list or start a run.
    void enableListCommands(bool enabled);
    // "Start Converting" turns into "Stop Converting" while a run is in progress, and back.
    void showStartOrStop(bool running);
};

} // namespace korvane
