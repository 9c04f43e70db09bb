#include "files/settings_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <system_error>
#include <utility>

#include "files/number_text.h"
#include "files/record_layout.h"

namespace hydrosk::files {
namespace {

constexpr std::string_view kPathKey = "[PATH]";
constexpr std::string_view kMinimalPressureKey = "[MINIMAL_PRESSURE]";
constexpr std::string_view kMaximalFlowKey = "[MAX_FLOW]";
constexpr std::string_view kFlowIntervalKey = "[FLOW_INTERVAL]";
constexpr std::string_view kRequiredFlowKey = "[REQUIRED_FLOW]";
constexpr std::string_view kRequiredTimeKey = "[REQUIRED_TIME]";

std::optional<std::string>* TargetOf(std::string_view key, Settings& settings) {
    const std::array<std::pair<std::string_view, std::optional<std::string>*>, 6> targets{{
        {kPathKey, &settings.inp_directory},
        {kMinimalPressureKey, &settings.minimal_pressure},
        {kMaximalFlowKey, &settings.maximal_flow},
        {kFlowIntervalKey, &settings.flow_interval},
        {kRequiredFlowKey, &settings.required_flow},
        {kRequiredTimeKey, &settings.required_time},
    }};
    for (const auto& [name, target] : targets) {
        if (name == key) return target;
    }
    return nullptr;
}

std::string ValueText(const ReadValue& value, const std::locale& locale) {
    if (const auto* number = std::get_if<double>(&value)) {
        return FormatUserNumber(*number, locale);
    }
    return std::get<std::string>(value);
}

// The effective user may create files in `folder` (a read-only file system
// counts as not writable).
bool IsWritableFolder(const std::filesystem::path& folder) {
    return faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool IsInstalledLayout(const std::filesystem::path& program_directory) {
    std::error_code error;
    return std::filesystem::is_directory(program_directory / ".." / "share" / "hydrosk", error);
}

}  // namespace

std::filesystem::path UserConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && std::filesystem::path(xdg).is_absolute()) return xdg;
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* user = getpwuid(geteuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    if (home == nullptr || *home == '\0') return {};
    return std::filesystem::path(home) / ".config";
}

SettingsFolders SettingsFoldersOf(const std::filesystem::path& program_directory,
                                  const std::filesystem::path& config_home) {
    if (config_home.empty() ||
        (IsWritableFolder(program_directory) && !IsInstalledLayout(program_directory))) {
        return {program_directory, std::nullopt};
    }
    return {config_home / "hydrosk", program_directory};
}

SettingsFolders SettingsFoldersOf(const std::filesystem::path& program_directory) {
    return SettingsFoldersOf(program_directory, UserConfigHome());
}

Settings LoadSettings(const std::filesystem::path& directory, const std::locale& locale) noexcept {
    Settings settings;
    try {
        const auto bytes = ReadFileIfExists(directory / kSettingsFileName);
        if (!bytes) return settings;
        FieldReader reader(*bytes);
        for (;;) {
            reader.SkipBlankLines();
            const auto key = reader.Next();
            const auto value = reader.Next();
            if (!key || !value) break;  // also an empty file
            if (auto* target = TargetOf(key->text, settings)) {
                *target = ValueText(UntypedValue(*value), locale);
            }
            if (reader.AtEnd()) break;
        }
    } catch (const std::exception&) {
        // The program starts whatever the file holds; what was read stays.
    }
    return settings;
}

Settings LoadSettings(const std::filesystem::path& directory) noexcept {
    try {
        return LoadSettings(directory, UserLocale());
    } catch (const std::exception&) {
        return {};
    }
}

Settings LoadSettings(const SettingsFolders& folders) noexcept {
    std::error_code error;
    if (folders.fallback && !std::filesystem::exists(folders.folder / kSettingsFileName, error)) {
        return LoadSettings(*folders.fallback);
    }
    return LoadSettings(folders.folder);
}

void WriteSettings(const std::filesystem::path& directory, std::string_view inp_directory,
                   float minimal_pressure, float maximal_flow, float flow_interval,
                   std::string_view required_flow_text, std::string_view required_time_text) {
    // A folder that cannot be made is reported by the writer, with the file's path.
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    RecordFileWriter writer(directory / kSettingsFileName);
    writer.Write({std::string(kPathKey), std::string(inp_directory)});
    writer.Write({std::string(kMinimalPressureKey), minimal_pressure});
    writer.Write({std::string(kMaximalFlowKey), maximal_flow});
    writer.Write({std::string(kFlowIntervalKey), flow_interval});
    const std::pair<std::string_view, std::string_view> optional_values[] = {
        {kRequiredFlowKey, required_flow_text}, {kRequiredTimeKey, required_time_text}};
    for (const auto& [key, text] : optional_values) {
        const double value = LeadingNumberValue(text);
        if (value > 0 && std::isfinite(value)) writer.Write({std::string(key), value});
    }
    writer.Commit();
}

}  // namespace hydrosk::files
