// The conversion run: Start turns the listed GIF files into SWF movies.
#include "ConversionRun.h"
#include "RunChecks.h"
#include "app/Form1.h"
#include "filelist/FileListView.h"
#include "preview/PreviewWindow.h"
#include "util/Constants.h"

#include <QApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>

#include <functional>

namespace korvane {

namespace {

// The run's view of the window: its pointer, its progress bar and its message boxes.
class WindowFeedback : public ConversionFeedback {
public:
    WindowFeedback(Form1& window, Dialogs& dialogs, std::function<void()> runOver)
        : window_(window), dialogs_(dialogs), runOver_(std::move(runOver)) {}
    void runOver() override { runOver_(); }
    void setPointer(MousePointer pointer) override { window_.SetMousePointer(pointer); }
    void setProgress(double percent) override { window_.ProgressBar1->setValue(qRound(percent)); }
    void showMessage(const QString& text, MessageIcon icon, const QString& title) override {
        dialogs_.message(&window_, text, icon, title);
    }
    void showDone(const QString& text, const QString& movie, MessageIcon icon) override {
        if (dialogs_.messageOffering(&window_, text, icon, kAppTitle, QStringLiteral("Preview")))
            PreviewWindow::Open(movie, dialogs_, &window_);
    }

private:
    Form1& window_;
    Dialogs& dialogs_;
    std::function<void()> runOver_;
};

ConversionMode SelectedMode(const Form1& window) {
    if (window.Option1->isChecked())
        return ConversionMode::ManyToOne;
    if (window.Option2->isChecked())
        return ConversionMode::OneToOne;
    return ConversionMode::None;
}

} // namespace

void Form1::Start() {
    startClicked_.start();
    if (addingFiles()) {
        services_.dialogs.message(
            this,
            QStringLiteral("Korvane is still adding files. Start again when the list is complete."),
            MessageIcon::Exclamation, kAppTitle);
        return;
    }
    // The window stays live while a converter runs; a second run must not start inside the first,
    // not even while the first one's outcome is shown.
    if (conversionRunning_ || run_)
        return;
    ConversionRequest request{ListView1->texts(), SelectedMode(*this), Text1->text(), Text2->text(),
                              services_.applicationFolder};
    request.movie = movieOptions();
    // Checked before anything changes on the window: a refused run leaves it as it was.
    if (!CheckRun(request, services_.dialogs, this))
        return;
    setConversionRunning(true);
    // The outcome is shown with the run over: the toolbar offers Start again.
    WindowFeedback feedback(*this, services_.dialogs, [this] { setConversionRunning(false); });
    ConversionRun run(std::move(request), services_.runner, feedback);
    run_ = &run;
    run.execute();
    run_ = nullptr;
    setConversionRunning(false);
}

void Form1::Stop() {
    // The second click of a double click on Start is no request to stop.
    if (startClicked_.isValid() && startClicked_.elapsed() < QApplication::doubleClickInterval())
        return;
    if (run_)
        run_->stop();
}

void Form1::setConversionRunning(bool running) {
    if (conversionRunning_ == running)
        return;
    conversionRunning_ = running;
    Q_EMIT conversionRunningChanged(running);
}

} // namespace korvane
