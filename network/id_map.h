// A map from element ID to toolkit index that keeps insertion order and looks
// IDs up without regard to letter case, as the catalogue needs.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace hydrosk::network {

class IdMap {
public:
    struct Entry {
        std::string id;
        int index = 0;
    };

    // Adds an element. EPANET IDs are case-sensitive, so two IDs that differ
    // only in case can both exist; both are kept in order, and each is found
    // by its exact spelling. Another spelling finds the one added first.
    void add(std::string id, int index);

    int count() const { return static_cast<int>(entries_.size()); }
    // Position 1 to count(); nullopt outside that range.
    std::optional<int> index_at(int position) const;
    const std::vector<Entry>& entries() const { return entries_; }

    // nullopt when no element has this ID in any letter case.
    std::optional<int> find(std::string_view id) const;

private:
    std::vector<Entry> entries_;
    std::unordered_map<std::string, int> exact_;   // ID -> entry position (0-based)
    std::unordered_map<std::string, int> folded_;  // lower-case ID -> first such entry
};

// ASCII letters folded to lower case; other bytes (Latin-1, UTF-8) kept, so
// that no two different IDs of a code page are merged by guesswork.
std::string fold_case(std::string_view id);

}  // namespace hydrosk::network
