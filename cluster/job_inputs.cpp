#include "cluster/job_inputs.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "files/constraint_files.h"
#include "files/printable_text.h"

namespace hydrosk::cluster {
namespace {

// FNV-1a over the file's bytes, with its size: different files agree by chance one time in
// 2^64, which is enough to tell a rank that was given other inputs.
std::string HashOf(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::exists(file, error)) return "absent";
    if (!std::filesystem::is_regular_file(file, error)) return "not a regular file";
    std::ifstream in(file, std::ios::binary);
    if (!in) return "unreadable";
    std::uint64_t hash = 14695981039346656037ULL;
    std::uint64_t size = 0;
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        const auto count = static_cast<std::size_t>(in.gcount());
        for (std::size_t i = 0; i < count; ++i) {
            hash ^= static_cast<unsigned char>(buffer[i]);
            hash *= 1099511628211ULL;
        }
        size += count;
    }
    if (in.bad()) return "unreadable";
    char text[64];
    std::snprintf(text, sizeof text, "%llu bytes, %016llx", static_cast<unsigned long long>(size),
                  static_cast<unsigned long long>(hash));
    return text;
}

void AppendField(std::string& bytes, std::string_view field) {
    bytes += std::to_string(field.size());
    bytes += ':';
    bytes += field;
}

class FieldTaker {
public:
    explicit FieldTaker(std::string_view bytes) : bytes_(bytes) {}
    std::string Take() {
        const std::size_t colon = bytes_.find(':', at_);
        if (colon == std::string_view::npos) throw std::invalid_argument("truncated job inputs");
        const std::size_t size = std::stoul(std::string(bytes_.substr(at_, colon - at_)));
        if (colon + 1 + size > bytes_.size()) throw std::invalid_argument("truncated job inputs");
        at_ = colon + 1 + size;
        return std::string(bytes_.substr(colon + 1, size));
    }
    bool AtEnd() const { return at_ == bytes_.size(); }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

std::string Quoted(const std::filesystem::path& path) {
    return "\"" + files::PrintableText(path.string()) + "\"";
}

}  // namespace

JobInputs DescribeJobInputs(std::vector<std::string> arguments, const std::filesystem::path& inp,
                            const std::filesystem::path& constraints_directory,
                            const std::vector<std::filesystem::path>& named_files) {
    JobInputs inputs;
    inputs.arguments = std::move(arguments);
    std::error_code error;
    inputs.inp_file = std::filesystem::absolute(inp, error).lexically_normal();
    if (error) inputs.inp_file = inp;
    const std::filesystem::path directory =
        constraints_directory.empty() ? std::filesystem::path(".") : constraints_directory;
    inputs.constraints_directory = std::filesystem::absolute(directory, error).lexically_normal();
    if (error) inputs.constraints_directory = directory;
    inputs.inp_hash = HashOf(inp);
    inputs.no_check_hash = HashOf(directory / files::kExcludedJunctionsFileName);
    inputs.min_pressures_hash = HashOf(directory / files::kJunctionMinPressuresFileName);
    for (const std::filesystem::path& file : named_files) {
        std::filesystem::path path = std::filesystem::absolute(file, error).lexically_normal();
        if (error) path = file;
        inputs.named_files.push_back({std::move(path), HashOf(file)});
    }
    return inputs;
}

std::string EncodeJobInputs(const JobInputs& inputs) {
    std::string bytes;
    AppendField(bytes, std::to_string(inputs.arguments.size()));
    for (const std::string& argument : inputs.arguments) AppendField(bytes, argument);
    AppendField(bytes, inputs.inp_file.string());
    AppendField(bytes, inputs.constraints_directory.string());
    AppendField(bytes, inputs.inp_hash);
    AppendField(bytes, inputs.no_check_hash);
    AppendField(bytes, inputs.min_pressures_hash);
    AppendField(bytes, std::to_string(inputs.named_files.size()));
    for (const JobInputs::NamedFile& file : inputs.named_files) {
        AppendField(bytes, file.path.string());
        AppendField(bytes, file.hash);
    }
    return bytes;
}

JobInputs DecodeJobInputs(std::string_view bytes) {
    FieldTaker taker(bytes);
    JobInputs inputs;
    const std::size_t count = std::stoul(taker.Take());
    if (count > bytes.size()) throw std::invalid_argument("job inputs: bad argument count");
    for (std::size_t i = 0; i < count; ++i) inputs.arguments.push_back(taker.Take());
    inputs.inp_file = taker.Take();
    inputs.constraints_directory = taker.Take();
    inputs.inp_hash = taker.Take();
    inputs.no_check_hash = taker.Take();
    inputs.min_pressures_hash = taker.Take();
    const std::size_t named = std::stoul(taker.Take());
    if (named > bytes.size()) throw std::invalid_argument("job inputs: bad file count");
    for (std::size_t i = 0; i < named; ++i) {
        JobInputs::NamedFile file;
        file.path = taker.Take();
        file.hash = taker.Take();
        inputs.named_files.push_back(std::move(file));
    }
    if (!taker.AtEnd()) throw std::invalid_argument("job inputs followed by other bytes");
    return inputs;
}

std::string JobInputsDifference(const JobInputs& rank0, const JobInputs& other, int rank,
                                std::string_view host) {
    std::vector<std::string> what;
    if (other.arguments != rank0.arguments) {
        std::string mine;
        for (const std::string& argument : other.arguments) mine += " " + argument;
        what.push_back("its options differ (" +
                       files::FieldText(mine.empty() ? mine : mine.substr(1)) + ")");
    }
    if (other.inp_hash != rank0.inp_hash) {
        what.push_back("its INP file " + Quoted(other.inp_file) + " differs (" + other.inp_hash +
                       "; rank 0: " + rank0.inp_hash + ")");
    }
    const std::filesystem::path directory = other.constraints_directory;
    if (other.no_check_hash != rank0.no_check_hash) {
        what.push_back("its " + Quoted(directory / files::kExcludedJunctionsFileName) +
                       " differs (" + other.no_check_hash + "; rank 0: " + rank0.no_check_hash +
                       ")");
    }
    if (other.min_pressures_hash != rank0.min_pressures_hash) {
        what.push_back("its " + Quoted(directory / files::kJunctionMinPressuresFileName) +
                       " differs (" + other.min_pressures_hash +
                       "; rank 0: " + rank0.min_pressures_hash + ")");
    }
    // Files named by options that differ are told by the options already.
    if (other.named_files.size() == rank0.named_files.size()) {
        for (std::size_t i = 0; i < other.named_files.size(); ++i) {
            const JobInputs::NamedFile& mine = other.named_files[i];
            const std::string& theirs = rank0.named_files[i].hash;
            if (mine.hash == theirs) continue;
            what.push_back("its " + Quoted(mine.path) + " differs (" + mine.hash +
                           "; rank 0: " + theirs + ")");
        }
    }
    if (what.empty()) return {};
    std::string text = "rank " + std::to_string(rank) + " on " + files::FieldText(host) + ": ";
    for (std::size_t i = 0; i < what.size(); ++i) text += (i > 0 ? "; " : "") + what[i];
    return text;
}

std::string RanksDisagree(const std::vector<std::string>& differences) {
    std::string text =
        "The ranks of the job were not given the same inputs as rank 0; nothing was run and the "
        "results file was left as it was:";
    for (const std::string& difference : differences) text += "\n  " + difference;
    return text;
}

}  // namespace hydrosk::cluster
