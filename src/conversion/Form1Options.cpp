// The conversion options on the "Conversion Options" tab.
#include "app/Form1.h"

#include "DelayCheck.h"
#include "ErrorReport.h"
#include "app/Settings.h"
#include "util/Constants.h"
#include "util/PathHelpers.h"
#include "util/Seams.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

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

// "Plays:" lists its choices in this order; the last takes its number from the spin box.
enum PlaysChoice { AsTheGifSays, LoopForEver, Once, Times };

int PlaysChoiceOf(int plays) {
    if (plays == kPlaysAsTheGifSays)
        return AsTheGifSays;
    if (plays == kPlaysForEver)
        return LoopForEver;
    return plays == kPlaysOnce ? Once : Times;
}

QString StoredMovieOption(const QString& key, const QString& defaultValue) {
    return GetSetting(kSettingsOrganization, kSettingsSection, key, defaultValue);
}

} // namespace

void Form1::Option_Click() {
    StoreSetting(QStringLiteral("Option1"), BooleanText(Option1->isChecked()));
    StoreSetting(QStringLiteral("Option2"), BooleanText(Option2->isChecked()));
    if (!playsChosen_)
        showPlays(DefaultPlays(Option1->isChecked()));
}

void Form1::Text3_Change() {
    StoreSetting(QStringLiteral("MovieName"), Text3->text());
}

void Form1::Check1_Click() {
    // With each GIF's own timing there is no delay to give.
    Text1->setEnabled(!Check1->isChecked());
    StoreSetting(QStringLiteral("OwnTiming"), BooleanText(Check1->isChecked()));
}

void Form1::Combo1_Click() {
    playsChosen_ = true;
    Spin1->setEnabled(Combo1->currentIndex() == Times);
    StoreSetting(QStringLiteral("Plays"), QString::number(movieOptions().plays));
}

void Form1::Spin1_Change() {
    if (Combo1->currentIndex() == Times)
        Combo1_Click();
}

void Form1::Spin2_Change() {
    StoreSetting(QStringLiteral("Scale"), QString::number(Spin2->value()));
}

void Form1::PushButton3_Click() {
    const std::optional<QColor> chosen =
        services_.dialogs.chooseColour(this, background_, QStringLiteral("Background colour"));
    if (!chosen)
        return;
    showBackground(*chosen);
    StoreSetting(QStringLiteral("Background"), ColourText(background_));
}

void Form1::showPlays(int plays) {
    const QSignalBlocker quietSpin(Spin1);
    Combo1->setCurrentIndex(PlaysChoiceOf(plays));
    if (plays > kPlaysOnce)
        Spin1->setValue(plays);
    Spin1->setEnabled(Combo1->currentIndex() == Times);
}

void Form1::showBackground(const QColor& colour) {
    background_ = colour;
    // The button shows the colour as a swatch beside its hexadecimal digits.
    QPixmap swatch(PushButton3->iconSize());
    swatch.fill(colour);
    QPainter frame(&swatch);
    frame.setPen(Qt::black);
    frame.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    frame.end();
    PushButton3->setIcon(swatch);
    PushButton3->setText(ColourText(colour));
}

void Form1::restoreMovieOptions() {
    // A value that reads as none of the choices gives the default, without a word.
    Text3->setText(StoredMovieOption(QStringLiteral("MovieName"), kManyToOneMovieName));
    Check1->setChecked(StoredBoolean(StoredMovieOption(QStringLiteral("OwnTiming"), {}), false));
    Spin2->setValue(
        StoredScale(StoredMovieOption(QStringLiteral("Scale"), {})).value_or(kNormalScale));
    showBackground(StoredBackground(StoredMovieOption(QStringLiteral("Background"), {}))
                       .value_or(kDefaultBackground));
    const std::optional<int> plays = StoredPlays(StoredMovieOption(QStringLiteral("Plays"), {}));
    playsChosen_ = plays.has_value();
    showPlays(plays.value_or(DefaultPlays(Option1->isChecked())));
}

MovieOptions Form1::movieOptions() const {
    MovieOptions options;
    options.movieName = Text3->text();
    options.ownTiming = Check1->isChecked();
    const int choice = Combo1->currentIndex();
    options.plays = choice == AsTheGifSays  ? kPlaysAsTheGifSays
                    : choice == LoopForEver ? kPlaysForEver
                    : choice == Once        ? kPlaysOnce
                                            : Spin1->value();
    options.scalePercent = Spin2->value();
    options.background = background_;
    return options;
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
    connect(Text3, &QLineEdit::textChanged, this, &Form1::Text3_Change);
    connect(Check1, &QCheckBox::toggled, this, &Form1::Check1_Click);
    // Only the user's choice counts as one; the window's own settings of the box do not.
    connect(Combo1, &QComboBox::activated, this, &Form1::Combo1_Click);
    connect(Spin1, &QSpinBox::valueChanged, this, &Form1::Spin1_Change);
    connect(Spin2, &QSpinBox::valueChanged, this, &Form1::Spin2_Change);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    // The check runs once the focus has arrived where the user sent it, so the message box is
    // never opened from inside a focus change.
    new FocusLossWatcher(Text1, [this] {
        QMetaObject::invokeMethod(this, &Form1::Text1_LostFocus, Qt::QueuedConnection);
    });
}

} // namespace korvane
