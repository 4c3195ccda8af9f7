// The conversion options on the "Conversion Options" tab.
#include "app/Form1.h"

#include "DelayCheck.h"
#include "ErrorReport.h"
#include "app/Settings.h"
#include "util/Constants.h"
#include "util/PathHelpers.h"
#include "util/Seams.h"

#include <QDir>
#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <exception>
#include <functional>

namespace korvane {

namespace {

// Tells when a control loses the focus to another control of the window. A window losing its
// activation (a message box opening, another application) or a menu taking the keyboard is not
// such a loss: the focus comes back there when the window is active again.
class FocusLossWatcher : public QObject {
public:
    FocusLossWatcher(QWidget* watched, std::function<void()> onLoss)
        : QObject(watched), onLoss_(std::move(onLoss)) {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusOut) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
                reason != Qt::MenuBarFocusReason)
                onLoss_();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onLoss_;
};

} // namespace

void Form1::Option_Click() {
    StoreSetting(QStringLiteral("Option1"), BooleanText(Option1->isChecked()));
    StoreSetting(QStringLiteral("Option2"), BooleanText(Option2->isChecked()));
}

void Form1::Text1_Change() {
    StoreSetting(QStringLiteral("Delay"), Text1->text());
}

void Form1::Text1_LostFocus() {
    // The message box takes the focus while it is shown; that is not the user leaving the box.
    if (delayCheckShowing_ || IsNumericEntry(Text1->text()))
        return;
    delayCheckShowing_ = true;
    services_.dialogs.message(this, QStringLiteral("Must be numeric entry."),
                              MessageIcon::Exclamation, kAppTitle);
    delayCheckShowing_ = false;
    Text1->setFocus(Qt::OtherFocusReason);
}

void Form1::Text2_Change() {
    StoreSetting(QStringLiteral("Text2"), Text2->text());
}

void Form1::PushButton2_Click() {
    // Each numbered step reports its own failure and the operation goes on with the next one.
    const auto step = [this](int number, const std::function<void()>& action) {
        try {
            action();
        } catch (const std::exception& error) {
            services_.dialogs.message(
                this,
                ErrorReportText(QString::fromLocal8Bit(error.what()), kPushButton2Location, number),
                MessageIcon::Exclamation, kErrorReportTitle);
        }
    };

    QString folder;
    bool cancelled = false;
    bool needsSeparator = false;
    step(100, [&] {
        folder = BrowseForFolder(services_.dialogs, this, QStringLiteral("Please select folder:"));
    });
    step(102, [&] { cancelled = folder.isEmpty(); });
    if (cancelled)
        return;
    step(104, [&] { needsSeparator = !folder.endsWith(QDir::separator()); });
    if (needsSeparator)
        step(106, [&] { folder = WithTrailingSeparator(folder); });
    step(108, [&] { Text2->setText(folder); }); // its change handler stores "Text2"
}

void Form1::connectOptionEvents() {
    // A program change that selects an option counts as its click, as the restore at start-up
    // needs; the button being cleared by the other one's selection writes nothing of its own.
    const auto onSelected = [this](bool selected) {
        if (selected)
            Option_Click();
    };
    connect(Option1, &QRadioButton::toggled, this, onSelected);
    connect(Option2, &QRadioButton::toggled, this, onSelected);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    // The check runs once the focus has arrived where the user sent it, so the message box is
    // never opened from inside a focus change.
    new FocusLossWatcher(Text1, [this] {
        QMetaObject::invokeMethod(this, &Form1::Text1_LostFocus, Qt::QueuedConnection);
    });
}

} // namespace korvane
