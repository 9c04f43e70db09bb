#include "ui/help_texts.h"

#include <array>
#include <utility>

namespace hydrosk::ui {
namespace {

// CR LF, as the help area's texts use it for a line break.
constexpr char kLineBreak[] = "\r\n";

QString Broken(const char* text) {
    return QString::fromLatin1(kLineBreak) + QLatin1String(text);
}

QString InpFileHelp() {
    return Broken("Enter the full path and name for the INP EPANET file.") + kLineBreak +
           kLineBreak + "Use the File-> Export-> network menu from EPANET program.";
}

}  // namespace

std::optional<QString> HelpTextFor(QStringView objectName) {
    // The two spellings "extention" and "extantion" are the window's own
    // texts, kept as users know them.
    const std::array<std::pair<const char*, QString>, 16> table{{
        {"cmdRUN", Broken("Run the fire flow check!")},
        {"cmdInpFile", Broken("Click here to select the INP file")},
        {"cmdClose", Broken("Close the program")},
        {"Image1", Broken("Fire hydrant from the 1880's")},
        {"Label3", InpFileHelp()},
        {"lblInpFileName", InpFileHelp()},
        {"Label11", Broken("Results file path and file extention")},
        {"lblOutputFileName", Broken("Results file path and file extantion")},
        {"Label4", Broken("Minimal pressure to be obtained at all junctions.")},
        {"txtMinimalPressure", Broken("Minimal pressure to be obtained at all junctions.")},
        {"Label5", Broken("Maximal flow to be checked.")},
        {"txtMaximalFlow", Broken("Maximal flow to be checked.")},
        {"Label6", Broken("Flow interval at which the flow will be checked.")},
        {"txtFlowInterval", Broken("Flow interval at which the flow will be checked.")},
        {"Label1", QStringLiteral("Goto Corvane Home page!")},
        {"Label2", QStringLiteral("Goto Corvane Home page!")},
    }};
    for (const auto& [name, text] : table) {
        if (objectName == QLatin1String(name)) return text;
    }
    return std::nullopt;
}

QString WelcomeText() {
    return QStringLiteral("Welcome to Hydrosk!") + kLineBreak + kLineBreak +
           "Hydrosk was written by Corvane. Please send problem reports and suggestions "
           "by e-mail to " +
           QLatin1String(kSupportEmail) + kLineBreak;
}

QString SupportMailUrl() {
    return QStringLiteral("mailto:") + QLatin1String(kSupportEmail);
}

}  // namespace hydrosk::ui
