// What the ranks of an MPI job must agree on before the first junction: the command line's
// arguments (the options) and the bytes of the INP file, of both constraint files and of the
// files the options name (the hydrants, required flows and fire groups). Each
// rank describes its own inputs; the description of rank 0 is compared with every other's.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace hydrosk::cluster {

struct JobInputs {
    std::vector<std::string> arguments;  // the command line after the program's name
    std::filesystem::path inp_file;      // as the rank resolves it (absolute)
    std::filesystem::path constraints_directory;
    std::string inp_hash;  // a hash of the bytes, or the reason the file cannot be read
    std::string no_check_hash;
    std::string min_pressures_hash;
    // The files the options name, in the options' order: each as the rank resolves it, and
    // a hash of its bytes.
    struct NamedFile {
        std::filesystem::path path;
        std::string hash;
    };
    std::vector<NamedFile> named_files;
};

// The inputs of this process. A file that is missing or cannot be read is described by that.
JobInputs DescribeJobInputs(std::vector<std::string> arguments, const std::filesystem::path& inp,
                            const std::filesystem::path& constraints_directory,
                            const std::vector<std::filesystem::path>& named_files = {});

// A description as bytes to send, and back.
std::string EncodeJobInputs(const JobInputs& inputs);
JobInputs DecodeJobInputs(std::string_view bytes);

// What of `rank`'s inputs (on `host`) differs from rank 0's, naming the rank and its paths;
// empty when they agree.
std::string JobInputsDifference(const JobInputs& rank0, const JobInputs& other, int rank,
                                std::string_view host);

// The message of a job refused for ranks that disagree: every difference, one per line.
std::string RanksDisagree(const std::vector<std::string>& differences);

}  // namespace hydrosk::cluster
