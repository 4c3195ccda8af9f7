#pragma once

#include <QString>

// Names, addresses and texts that several parts of the application share. Keep every web
// address and the support address here and nowhere else.
namespace korvane {

inline const QString kAppTitle = QStringLiteral("Korvane");

// Settings store: organisation, application and group (section) names.
inline const QString kSettingsOrganization = QStringLiteral("Quenwick");
inline const QString kSettingsApplication = QStringLiteral("Korvane");
inline const QString kSettingsSection = QStringLiteral("Korvane");

inline const QString kMakerSite = QStringLiteral("https://quenwick.example");
inline const QString kContactPage = kMakerSite + QStringLiteral("/contact/");
inline const QString kFaqPage = kMakerSite + QStringLiteral("/question/");
inline const QString kHomePage = kMakerSite + QStringLiteral("/");
inline const QString kSupportEmail = QStringLiteral("support@quenwick.example");
inline const QString kPlayerSearchPage =
    QStringLiteral("https://www.google.com/search?as_q=flash+movie+player+1.5");

} // namespace korvane
