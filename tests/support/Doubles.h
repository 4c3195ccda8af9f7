#pragma once

// Test doubles for the window's seams: each one records what the window asked and answers from a
// script, so that no test ever opens a modal dialog, a browser or a file manager.
#include "conversion/ConverterInvocation.h"
#include "util/Seams.h"

#include <QFile>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

namespace korvane::test {

struct ShownMessage {
    QString text;
    MessageIcon icon;
    QString title;
};

class ScriptedDialogs : public Dialogs {
public:
    // Answers, taken in order; a dialog asked with no answer left is a test failure that shows
    // up as a recorded unexpected call.
    QQueue<bool> yesNoAnswers;
    QQueue<QString> choiceAnswers; // the caption of the button to choose
    QQueue<QString> inputAnswers;
    QQueue<QStringList> openFilesAnswers;
    QQueue<QString> folderAnswers;
    QQueue<QString> openFileAnswers;
    // Whether the offered button is pressed; OK when none is scripted.
    QQueue<bool> offeringAnswers;
    QQueue<std::optional<QColor>> colourAnswers; // nothing: cancelled
    // Runs when a message box would be shown (for example to check the window's state then).
    std::function<void(const ShownMessage&)> onMessage;

    QList<ShownMessage> messages;
    QStringList questions;
    QStringList questionTitles;
    QList<MessageIcon> questionIcons;
    QList<QStringList> questionButtons; // of the questions with buttons of their own
    QStringList inputPrompts;
    QStringList inputTitles;
    QStringList inputDefaults;
    QStringList openFilesTitles;
    QStringList openFilesFilters;
    QStringList folderTitles;
    QStringList openFileFilters;
    QStringList offeredButtons; // beside the message of the same index in `messages`
    QList<QColor> colourInitials;
    QStringList unexpected;

    void message(QWidget*, const QString& text, MessageIcon icon, const QString& title) override {
        messages.append({text, icon, title});
        if (onMessage)
            onMessage(messages.last());
    }
    bool askYesNo(QWidget*, const QString& text, const QString& title, MessageIcon icon) override {
        questions.append(text);
        questionTitles.append(title);
        questionIcons.append(icon);
        if (yesNoAnswers.isEmpty()) {
            unexpected.append(QStringLiteral("askYesNo: ") + text);
            return false;
        }
        return yesNoAnswers.dequeue();
    }
    int choose(QWidget*, const QString& text, const QString& title, MessageIcon icon,
               const QStringList& buttons) override {
        questions.append(text);
        questionTitles.append(title);
        questionIcons.append(icon);
        questionButtons.append(buttons);
        const qsizetype chosen =
            choiceAnswers.isEmpty() ? -1 : buttons.indexOf(choiceAnswers.head());
        if (chosen < 0) {
            unexpected.append(QStringLiteral("choose: ") + text);
            return int(buttons.size()) - 1;
        }
        choiceAnswers.dequeue();
        return int(chosen);
    }
    QString inputBox(QWidget*, const QString& prompt, const QString& title,
                     const QString& defaultText) override {
        inputPrompts.append(prompt);
        inputTitles.append(title);
        inputDefaults.append(defaultText);
        if (inputAnswers.isEmpty()) {
            unexpected.append(QStringLiteral("inputBox: ") + prompt);
            return {};
        }
        return inputAnswers.dequeue();
    }
    QStringList openFiles(QWidget*, const QString& title, const QString& filter) override {
        openFilesTitles.append(title);
        openFilesFilters.append(filter);
        if (openFilesAnswers.isEmpty()) {
            unexpected.append(QStringLiteral("openFiles"));
            return {};
        }
        return openFilesAnswers.dequeue();
    }
    QString browseForFolder(QWidget*, const QString& title) override {
        folderTitles.append(title);
        if (folderAnswers.isEmpty()) {
            unexpected.append(QStringLiteral("browseForFolder"));
            return {};
        }
        return folderAnswers.dequeue();
    }
    QString openFile(QWidget*, const QString&, const QString& filter) override {
        openFileFilters.append(filter);
        if (openFileAnswers.isEmpty()) {
            unexpected.append(QStringLiteral("openFile"));
            return {};
        }
        return openFileAnswers.dequeue();
    }
    bool messageOffering(QWidget* owner, const QString& text, MessageIcon icon,
                         const QString& title, const QString& button) override {
        while (offeredButtons.size() < messages.size())
            offeredButtons.append(QString());
        offeredButtons.append(button);
        message(owner, text, icon, title);
        return !offeringAnswers.isEmpty() && offeringAnswers.dequeue();
    }
    std::optional<QColor> chooseColour(QWidget*, const QColor& initial, const QString&) override {
        colourInitials.append(initial);
        if (colourAnswers.isEmpty()) {
            unexpected.append(QStringLiteral("chooseColour"));
            return std::nullopt;
        }
        return colourAnswers.dequeue();
    }
};

class RecordingShell : public Shell {
public:
    QStringList opened;
    void open(const QString& target) override { opened.append(target); }
};

struct RunCall {
    QString program;
    QStringList arguments;
    std::optional<int> windowStyle;
};

// Records every start and answers with `handler` when set, otherwise with exit code 0. The answer
// comes from the event loop, like a real child's end, after the pieces of `output` when the
// caller reads standard output. Counts the children running at once. A start with "--each" is
// answered as the converter would: one call of one input with "-o" and its movie each, recorded
// and answered by `handler`, and a line on standard output for each.
class ScriptedProcessRunner : public ProcessRunner {
public:
    QList<RunCall> calls;
    std::function<ProcessResult(const RunCall&)> handler;
    QList<QByteArray> output;
    int running = 0;
    int mostAtOnce = 0;

    std::unique_ptr<StartedProcess> start(const QString& program, const QStringList& arguments,
                                          std::optional<int> windowStyle,
                                          ProcessHandlers handlers) override {
        const qsizetype each = arguments.indexOf(QStringLiteral("--each"));
        if (each < 0) {
            calls.append({program, arguments, windowStyle});
            const ProcessResult result = handler ? handler(calls.last()) : ProcessResult{};
            return std::make_unique<Child>(*this, result, std::move(handlers), output);
        }
        // "... --each -d FOLDER INPUT..." or "... --each -d FOLDER -l LIST".
        const QString folder = arguments.value(each + 2);
        QStringList inputs = arguments.mid(each + 3);
        if (inputs.value(0) == QStringLiteral("-l")) {
            QFile list(inputs.value(1));
            inputs.clear();
            if (list.open(QIODevice::ReadOnly)) {
                for (const QByteArray& path : list.readAll().split('\0'))
                    if (!path.isEmpty())
                        inputs << QFile::decodeName(path);
            }
        }
        ProcessResult all;
        QList<QByteArray> lines;
        for (const QString& input : std::as_const(inputs)) {
            calls.append(
                {program,
                 arguments.mid(0, each) + QStringList{input, QStringLiteral("-o"),
                                                      OutputPath(folder, OneToOneMovieName(input))},
                 windowStyle});
            const ProcessResult result = handler ? handler(calls.last()) : ProcessResult{};
            all.exitCode = std::max(all.exitCode, result.exitCode);
            all.standardError += result.standardError;
            const QString reason = QString::fromUtf8(result.standardError).trimmed();
            lines << (result.exitCode == 0
                          ? "ok " + input.toUtf8() + "\n"
                          : "failed " + input.toUtf8() + ": " +
                                reason.section(QStringLiteral(": "), -1).toUtf8() + "\n");
        }
        return std::make_unique<Child>(*this, all, std::move(handlers), lines);
    }

private:
    class Child : public QObject, public StartedProcess {
    public:
        Child(ScriptedProcessRunner& runner, ProcessResult result, ProcessHandlers handlers,
              QList<QByteArray> output)
            : runner_(runner), result_(std::move(result)), handlers_(std::move(handlers)),
              output_(std::move(output)) {
            runner_.mostAtOnce = std::max(runner_.mostAtOnce, ++runner_.running);
            QMetaObject::invokeMethod(
                this, [this] { end(); }, Qt::QueuedConnection);
        }
        ~Child() override {
            if (!ended_)
                --runner_.running;
        }
        void stop() override { result_.interrupted = true; }

    private:
        void end() {
            ended_ = true;
            --runner_.running;
            if (handlers_.standardOutput) {
                for (const QByteArray& piece : std::as_const(output_))
                    handlers_.standardOutput(piece);
            }
            const auto finished = std::move(handlers_.finished);
            if (finished)
                finished(result_); // may destroy this child
        }
        ScriptedProcessRunner& runner_;
        ProcessResult result_;
        ProcessHandlers handlers_;
        QList<QByteArray> output_;
        bool ended_ = false;
    };
};

// Hands every start to another runner and counts the children running at once.
class CountingRunner : public ProcessRunner {
public:
    explicit CountingRunner(ProcessRunner& next) : next_(next) {}
    int running = 0;
    int mostAtOnce = 0;

    std::unique_ptr<StartedProcess> start(const QString& program, const QStringList& arguments,
                                          std::optional<int> windowStyle,
                                          ProcessHandlers handlers) override {
        mostAtOnce = std::max(mostAtOnce, ++running);
        handlers.finished = [this,
                             finished = std::move(handlers.finished)](const ProcessResult& result) {
            --running;
            finished(result);
        };
        return next_.start(program, arguments, windowStyle, std::move(handlers));
    }

private:
    ProcessRunner& next_;
};

// Returns the scripted values in turn (the last one again when they run out) and records seeds.
class ScriptedChance : public Chance {
public:
    QList<double> values{0.5};
    QList<unsigned int> seeds;
    int draws = 0;

    void seed(unsigned int value) override { seeds.append(value); }
    double next() override {
        const double v = values.at(std::min<int>(draws, values.size() - 1));
        ++draws;
        return v;
    }
};

// All four doubles together, ready to hand to a Form1.
struct Doubles {
    ScriptedDialogs dialogs;
    RecordingShell shell;
    ScriptedProcessRunner runner;
    ScriptedChance chance;
};

} // namespace korvane::test
