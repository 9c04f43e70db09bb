// libFuzzer target: any bytes read as "NoCheck.txt", "MinPressures.txt" or
// "HydroskSettings.txt" must give a result or a FileError, without crashing,
// hanging or undefined behaviour. What the readers give must be writable and
// read back the same, and must show without control characters.
//
// The readers take paths, so the input lives in one memory file that all three
// names in a temporary folder link to.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <locale>
#include <string>
#include <vector>

#include "files/constraint_files.h"
#include "files/file_error.h"
#include "files/number_text.h"
#include "files/printable_text.h"
#include "files/record_layout.h"
#include "files/settings_file.h"

namespace {

using namespace hydrosk::files;

void require(bool condition) {
    if (!condition) __builtin_trap();
}

class InputFolder {
public:
    InputFolder() {
        descriptor_ = ::memfd_create("hydrosk-fuzz-input", MFD_CLOEXEC);
        require(descriptor_ >= 0);
        std::string pattern = (std::filesystem::temp_directory_path() / "hydrosk-fuzz-XXXXXX");
        require(::mkdtemp(pattern.data()) != nullptr);
        folder_ = pattern;
        const std::filesystem::path memory = "/proc/self/fd/" + std::to_string(descriptor_);
        for (const std::string_view name :
             {kExcludedJunctionsFileName, kJunctionMinPressuresFileName, kSettingsFileName}) {
            std::filesystem::create_symlink(memory, folder_ / name);
        }
    }
    ~InputFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
        ::close(descriptor_);
    }

    void Fill(const std::uint8_t* data, std::size_t size) const {
        require(::ftruncate(descriptor_, 0) == 0);
        require(size == 0 || ::pwrite(descriptor_, data, size, 0) == static_cast<ssize_t>(size));
    }
    std::filesystem::path operator/(std::string_view name) const { return folder_ / name; }
    const std::filesystem::path& folder() const { return folder_; }

private:
    int descriptor_ = -1;
    std::filesystem::path folder_;
};

void RequirePrintable(const std::string& text) {
    for (const char c : PrintableText(text)) {
        const auto byte = static_cast<unsigned char>(c);
        require(byte >= 0x20 || byte == '\t');
        require(byte != 0x7F);
    }
}

// A text written as a record field reads back as the same text.
void RequireRoundTrip(const std::string& id) {
    if (id.find('"') != std::string::npos) return;  // the layout cannot carry it
    FieldReader reader(FormatRecord({id}));
    reader.SkipBlankLines();
    const auto field = reader.Next();
    require(field.has_value() && field->text == id);
}

void ReadExcluded(const InputFolder& input) {
    try {
        for (const std::string& id : ReadExcludedJunctions(input / kExcludedJunctionsFileName)) {
            RequirePrintable(id);
            RequireRoundTrip(id);
        }
    } catch (const FileError& error) {
        RequirePrintable(error.what());
    }
}

void ReadMinPressures(const InputFolder& input) {
    try {
        for (const JunctionPressure& entry :
             ReadJunctionMinPressures(input / kJunctionMinPressuresFileName)) {
            require(std::isfinite(entry.pressure));
            RequirePrintable(entry.id);
            RequireRoundTrip(entry.id);
            if (entry.id.find('"') != std::string::npos) continue;
            FieldReader reader(FormatRecord({entry.id, entry.pressure}));
            reader.SkipBlankLines();
            reader.Next();
            const auto pressure = reader.Next();
            require(pressure && ParseFieldNumber(pressure->text).has_value());
        }
    } catch (const FileError& error) {
        RequirePrintable(error.what());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const InputFolder input;
    input.Fill(data, size);
    ReadExcluded(input);
    ReadMinPressures(input);
    const Settings settings = LoadSettings(input.folder(), std::locale::classic());
    for (const auto* value :
         {&settings.inp_directory, &settings.minimal_pressure, &settings.maximal_flow,
          &settings.flow_interval, &settings.required_flow, &settings.required_time}) {
        if (*value) RequirePrintable(**value);
    }
    return 0;
}
