// The texts of the main window's help area and the maker's addresses that its
// links open. The help table maps a control (by object name) to the text shown
// while the mouse pointer moves over it; controls without an entry leave the
// help area as it is.
#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace hydrosk::ui {

// Placeholder addresses of the maker, Corvane: the reserved ".example" domain
// opens nothing real until the maker's own addresses are filled in here.
inline constexpr char kMakerWebAddress[] = "corvane.example";
inline constexpr char kMakerWebUrl[] = "https://corvane.example/";
inline constexpr char kSupportEmail[] = "support@corvane.example";

// The help text of a control, or nullopt for a control that has none.
std::optional<QString> HelpTextFor(QStringView objectName);

// Shown while the pointer moves over the bare window surface.
QString WelcomeText();

// The mail link's target. RFC 6068 allows no blank in a mailto address: a
// blank after the colon arrives at the mail program as "%20support@...", an
// address it cannot use, so the target has none.
QString SupportMailUrl();

}  // namespace hydrosk::ui
