#include "NameOrder.h"

#include <algorithm>
#include <vector>

namespace korvane {

namespace {

QLocale CollationLocale(const QLocale& locale) {
    return locale.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates)
                                           : locale;
}

} // namespace

NameOrder::NameOrder(const QLocale& locale)
    : collator_(CollationLocale(locale)), caseCollator_(CollationLocale(locale)) {
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
    collator_.setNumericMode(true);
    caseCollator_.setNumericMode(true);
}

void NameOrder::sort(QStringList& names) const {
    if (names.size() < 2)
        return;
    // A key per name, made once: comparing keys is many times cheaper than comparing names.
    struct Keyed {
        QCollatorSortKey key;
        QString name;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(names.size());
    for (QString& name : names)
        keyed.push_back({collator_.sortKey(name), std::move(name)});
    std::sort(keyed.begin(), keyed.end(), [this](const Keyed& a, const Keyed& b) {
        int order = a.key.compare(b.key);
        if (order == 0)
            order = caseCollator_.compare(a.name, b.name);
        return order != 0 ? order < 0 : a.name < b.name;
    });
    for (qsizetype i = 0; i < names.size(); ++i)
        names[i] = std::move(keyed[i].name);
}

void SortAsFileManager(QStringList& names) {
    NameOrder().sort(names);
}

} // namespace korvane
