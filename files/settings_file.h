// The settings file "HydroskSettings.txt": the user's last inputs, kept from
// one start of the program to the next. Records of two fields, a key and a
// value, in the record text layout. It lives beside the program when the
// program's folder can be written, otherwise in the user's configuration
// folder (SettingsFoldersOf).
#pragma once

#include <filesystem>
#include <locale>
#include <optional>
#include <string>
#include <string_view>

namespace hydrosk::files {

inline constexpr std::string_view kSettingsFileName = "HydroskSettings.txt";

// Where the settings file is written, and where it is looked for.
struct SettingsFolders {
    // Written after a run, and read first at start-up.
    std::filesystem::path folder;
    // Read at start-up when `folder` holds no settings file: the program's own
    // folder when the file is kept elsewhere, so that settings placed beside an
    // installed program serve as its users' first values.
    std::optional<std::filesystem::path> fallback;
};

// The folders of the settings of a program in `program_directory`. A program
// in a folder of its own that its user can write (a build tree, an unpacked
// copy) keeps the file beside it. An installed program (a folder its user
// cannot write, or one with "../share/hydrosk" beside it, the installed
// layout, so that not even root writes into /usr/bin) keeps it in
// `config_home`/hydrosk, with its own folder as the fallback. An empty
// `config_home` keeps the file beside the program.
SettingsFolders SettingsFoldersOf(const std::filesystem::path& program_directory,
                                  const std::filesystem::path& config_home);
// The same with the user's configuration folder: $XDG_CONFIG_HOME when it is an
// absolute path, otherwise $HOME/.config (the home folder of the user database
// when HOME is unset).
SettingsFolders SettingsFoldersOf(const std::filesystem::path& program_directory);
std::filesystem::path UserConfigHome();

// The values found in the file, as texts for the main window's boxes; a value
// that the file does not hold stays empty, so its box keeps what it had.
struct Settings {
    std::optional<std::string> inp_directory;     // [PATH]: initial directory of the INP dialog
    std::optional<std::string> minimal_pressure;  // [MINIMAL_PRESSURE]
    std::optional<std::string> maximal_flow;      // [MAX_FLOW]
    std::optional<std::string> flow_interval;     // [FLOW_INTERVAL]
    std::optional<std::string> required_flow;     // [REQUIRED_FLOW]
    std::optional<std::string> required_time;     // [REQUIRED_TIME], hours
};

// Reads <directory>/HydroskSettings.txt. Never fails: a missing, unreadable or
// empty file gives no values, and a problem part way through (such as a last
// record without its value) keeps the values read before it. Keys are compared
// exactly, letter case included; unknown keys are skipped; when a key occurs
// twice the later record wins. A quoted value is taken as it stands; a bare
// number becomes text in the number format of `locale` (1,5 under de_DE).
Settings LoadSettings(const std::filesystem::path& directory, const std::locale& locale) noexcept;
Settings LoadSettings(const std::filesystem::path& directory) noexcept;  // user's locale
// From `folders.folder`, or from the fallback when the first holds no file.
Settings LoadSettings(const SettingsFolders& folders) noexcept;  // user's locale

// Writes <directory>/HydroskSettings.txt whole, creating `directory` when it
// is missing: [PATH] with inp_directory,
// the three numbers of the run as single precision, then [REQUIRED_FLOW] and
// [REQUIRED_TIME] with the leading-number value of their box's text, each only
// when that value is greater than 0 (and finite). Throws FileError when the
// file cannot be written (the old file is then left as it was), including an
// inp_directory holding a double quote.
void WriteSettings(const std::filesystem::path& directory, std::string_view inp_directory,
                   float minimal_pressure, float maximal_flow, float flow_interval,
                   std::string_view required_flow_text, std::string_view required_time_text);

}  // namespace hydrosk::files
