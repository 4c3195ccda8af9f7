#pragma once

#include "Seams.h"

#include <random>

// The seams' real implementations: Qt's modal dialogs, the desktop's default action, and a
// seeded pseudo-random generator.
namespace korvane {

// A text as a dialog's label shows it: each carriage return, alone or before a line feed,
// becomes the line feed at which a label breaks its lines. Message boxes break at a lone
// carriage return themselves; an input dialog's label does not.
QString WithDisplayLineBreaks(const QString& text);

class QtDialogs : public Dialogs {
public:
    void message(QWidget* owner, const QString& text, MessageIcon icon,
                 const QString& title) override;
    bool askYesNo(QWidget* owner, const QString& text, const QString& title,
                  MessageIcon icon) override;
    int choose(QWidget* owner, const QString& text, const QString& title, MessageIcon icon,
               const QStringList& buttons) override;
    QString inputBox(QWidget* owner, const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    QStringList openFiles(QWidget* owner, const QString& title, const QString& filter) override;
    QString browseForFolder(QWidget* owner, const QString& title) override;
    QString openFile(QWidget* owner, const QString& title, const QString& filter) override;
    bool messageOffering(QWidget* owner, const QString& text, MessageIcon icon,
                         const QString& title, const QString& button) override;
    std::optional<QColor> chooseColour(QWidget* owner, const QColor& initial,
                                       const QString& title) override;
};

class QtShell : public Shell {
public:
    void open(const QString& target) override;
};

class SeededChance : public Chance {
public:
    void seed(unsigned int value) override { engine_.seed(value); }
    double next() override { return std::uniform_real_distribution<double>(0.0, 1.0)(engine_); }

private:
    std::mt19937 engine_;
};

} // namespace korvane
