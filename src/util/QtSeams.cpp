#include "QtSeams.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace korvane {

namespace {

QMessageBox::Icon toQt(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QString WithDisplayLineBreaks(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

void QtDialogs::message(QWidget* owner, const QString& text, MessageIcon icon,
                        const QString& title) {
    QMessageBox box(toQt(icon), title, text, QMessageBox::Ok, owner);
    box.exec();
}

bool QtDialogs::askYesNo(QWidget* owner, const QString& text, const QString& title,
                         MessageIcon icon) {
    QMessageBox box(toQt(icon), title, text, QMessageBox::Yes | QMessageBox::No, owner);
    return box.exec() == QMessageBox::Yes;
}

int QtDialogs::choose(QWidget* owner, const QString& text, const QString& title, MessageIcon icon,
                      const QStringList& buttons) {
    QMessageBox box(toQt(icon), title, text, QMessageBox::NoButton, owner);
    QList<QAbstractButton*> shown;
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        const bool last = i + 1 == buttons.size();
        shown << box.addButton(buttons[i],
                               last ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    }
    if (!shown.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton*>(shown.first()));
        box.setEscapeButton(shown.last());
    }
    box.exec();
    const qsizetype chosen = shown.indexOf(box.clickedButton());
    return chosen >= 0 ? int(chosen) : int(buttons.size()) - 1;
}

QString QtDialogs::inputBox(QWidget* owner, const QString& prompt, const QString& title,
                            const QString& defaultText) {
    bool ok = false;
    const QString text = QInputDialog::getText(owner, title, WithDisplayLineBreaks(prompt),
                                               QLineEdit::Normal, defaultText, &ok);
    return ok ? text : QString();
}

QStringList QtDialogs::openFiles(QWidget* owner, const QString& title, const QString& filter) {
    QStringList files = QFileDialog::getOpenFileNames(owner, title, QString(), filter);
    for (QString& file : files)
        file = QDir::toNativeSeparators(file);
    return files;
}

QString QtDialogs::browseForFolder(QWidget* owner, const QString& title) {
    return QDir::toNativeSeparators(QFileDialog::getExistingDirectory(owner, title));
}

QString QtDialogs::openFile(QWidget* owner, const QString& title, const QString& filter) {
    return QDir::toNativeSeparators(QFileDialog::getOpenFileName(owner, title, QString(), filter));
}

bool QtDialogs::messageOffering(QWidget* owner, const QString& text, MessageIcon icon,
                                const QString& title, const QString& button) {
    QMessageBox box(toQt(icon), title, text, QMessageBox::Ok, owner);
    QPushButton* offered = box.addButton(button, QMessageBox::AcceptRole);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    return box.clickedButton() == offered;
}

std::optional<QColor> QtDialogs::chooseColour(QWidget* owner, const QColor& initial,
                                              const QString& title) {
    const QColor chosen = QColorDialog::getColor(initial, owner, title);
    return chosen.isValid() ? std::optional<QColor>(chosen) : std::nullopt;
}

void QtShell::open(const QString& target) {
    const QUrl url =
        target.contains(QLatin1String("://")) ? QUrl(target) : QUrl::fromLocalFile(target);
    QDesktopServices::openUrl(url);
}

} // namespace korvane
