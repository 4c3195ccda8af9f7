#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

// Every modal or outside-world action of the window goes through one of these small
// interfaces, so that tests can script the answers and nothing ever blocks or opens a browser.
namespace korvane {

enum class MessageIcon { None, Exclamation, Information, Critical, Question };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A modal message box with an OK button.
    virtual void message(QWidget* owner, const QString& text, MessageIcon icon,
                         const QString& title) = 0;
    // A modal question with Yes and No buttons; true for Yes.
    virtual bool askYesNo(QWidget* owner, const QString& text, const QString& title,
                          MessageIcon icon = MessageIcon::None) = 0;
    // A modal question with a button for each answer; the index of the chosen one. The last
    // button is the one Escape and the close box choose.
    virtual int choose(QWidget* owner, const QString& text, const QString& title, MessageIcon icon,
                       const QStringList& buttons) = 0;
    // A modal input box; the empty text when cancelled.
    virtual QString inputBox(QWidget* owner, const QString& prompt, const QString& title,
                             const QString& defaultText) = 0;
    // The open-files dialog; full native paths in the order the dialog gives them, or an
    // empty list when cancelled.
    virtual QStringList openFiles(QWidget* owner, const QString& title, const QString& filter) = 0;
    // The folder browser; the chosen folder as a native path, or the empty text when
    // cancelled.
    virtual QString browseForFolder(QWidget* owner, const QString& title) = 0;
    // The open-file dialog for one file; its full native path, or the empty text when
    // cancelled.
    virtual QString openFile(QWidget* owner, const QString& title, const QString& filter) = 0;
    // A modal message box with OK and one more button beside it; true when that button was
    // pressed.
    virtual bool messageOffering(QWidget* owner, const QString& text, MessageIcon icon,
                                 const QString& title, const QString& button) = 0;
    // The colour dialog, starting at `initial`; the colour chosen, or nothing when cancelled.
    virtual std::optional<QColor> chooseColour(QWidget* owner, const QColor& initial,
                                               const QString& title) = 0;
};

class Shell {
public:
    virtual ~Shell() = default;
    // Hands a web address, a file or a folder to the desktop's default action; never waits and
    // never reports whether it worked.
    virtual void open(const QString& target) = 0;
};

struct ProcessResult {
    int exitCode = 0;         // the child's exit code, or the start-failure code (negative)
    QByteArray standardError; // what the child wrote to its error stream
    bool crashed = false;     // the child was ended by a signal or crashed
    bool interrupted = false; // the child was ended from here: stopped, or the application is
                              // quitting
};

// What a started child reports, always from the event loop and never inside the call that
// started it.
struct ProcessHandlers {
    // Each piece of the child's standard output as it arrives; when absent, the output is thrown
    // away unread.
    std::function<void(const QByteArray&)> standardOutput;
    // Once, at the end: also after a failed start or a stop. It may destroy the StartedProcess.
    std::function<void(const ProcessResult&)> finished;
};

// A child that ProcessRunner::start started. Destroying it while the child runs ends the child
// (asked first, forced after a short grace) and waits for that, without reporting.
class StartedProcess {
public:
    virtual ~StartedProcess() = default;
    // Asks the child to end and forces it after a short grace; returns at once. The end is
    // reported as usual, with `interrupted` set.
    virtual void stop() = 0;
};

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    // Starts a program with an argument list (never through a shell) and returns at once; the
    // handlers hear of it while the event loop runs. windowStyle: the show-window style (6 when
    // absent).
    virtual std::unique_ptr<StartedProcess> start(const QString& program,
                                                  const QStringList& arguments,
                                                  std::optional<int> windowStyle,
                                                  ProcessHandlers handlers) = 0;
};

class Chance {
public:
    virtual ~Chance() = default;
    virtual void seed(unsigned int value) = 0;
    // A random number in [0, 1).
    virtual double next() = 0;
};

} // namespace korvane
