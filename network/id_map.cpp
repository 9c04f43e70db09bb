#include "network/id_map.h"

namespace hydrosk::network {

std::string fold_case(std::string_view id) {
    std::string folded(id);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

void IdMap::add(std::string id, int index) {
    const int position = count();
    exact_.try_emplace(id, position);
    folded_.try_emplace(fold_case(id), position);
    entries_.push_back({std::move(id), index});
}

std::optional<int> IdMap::index_at(int position) const {
    if (position < 1 || position > count()) return std::nullopt;
    return entries_[static_cast<size_t>(position - 1)].index;
}

std::optional<int> IdMap::find(std::string_view id) const {
    if (auto it = exact_.find(std::string(id)); it != exact_.end()) {
        return entries_[static_cast<size_t>(it->second)].index;
    }
    if (auto it = folded_.find(fold_case(id)); it != folded_.end()) {
        return entries_[static_cast<size_t>(it->second)].index;
    }
    return std::nullopt;
}

}  // namespace hydrosk::network
