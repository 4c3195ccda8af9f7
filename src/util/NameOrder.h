#pragma once

#include <QCollator>
#include <QLocale>
#include <QStringList>

namespace korvane {

// The order in which a file manager shows the names of one folder: letter case aside, runs of
// digits compared by their value (frame_2 before frame_10), in the rules of a locale. Names
// that differ only in letter case ("a.gif", "A.gif") follow the locale's case order.
class NameOrder {
public:
    // The user's locale by default. The C locale has no rules of its own for people; English
    // ones stand in for it.
    explicit NameOrder(const QLocale& locale = QLocale());
    void sort(QStringList& names) const;

private:
    QCollator collator_;
    QCollator caseCollator_; // only for names the first one finds equal
};

// Sorts the names of one folder in the user's locale (see NameOrder).
void SortAsFileManager(QStringList& names);

} // namespace korvane
