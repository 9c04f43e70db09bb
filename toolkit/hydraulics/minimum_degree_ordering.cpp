#include "toolkit/hydraulics/minimum_degree_ordering.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

namespace hydrosk::toolkit {

namespace {

constexpr int kNone = -1;

// A mark that no tag ever reaches: merged nodes carry it so that every later
// scan passes over them.
constexpr int kAlwaysMarked = std::numeric_limits<int>::max();
// Pivots eliminated between two looks at the stop request.
constexpr int kPivotsBetweenStopChecks = 1024;

std::size_t at(int i) {
    return static_cast<std::size_t>(i);
}

// Lists of uneliminated nodes by external degree. Insertion is at the front
// and the minimum is taken from the front: the tie-break rule of the ordering.
class DegreeLists {
public:
    explicit DegreeLists(int size)
        : front_(at(size) + 1, kNone),
          next_(at(size), kNone),
          previous_(at(size), kNone),
          degree_(at(size), 0) {}

    bool empty(int degree) const { return front_[at(degree)] == kNone; }
    int front(int degree) const { return front_[at(degree)]; }
    int highest_degree() const { return static_cast<int>(front_.size()) - 1; }

    void push_front(int node, int degree) {
        const int old_front = front_[at(degree)];
        next_[at(node)] = old_front;
        previous_[at(node)] = kNone;
        if (old_front != kNone) previous_[at(old_front)] = node;
        front_[at(degree)] = node;
        degree_[at(node)] = degree;
    }

    void remove(int node) {
        const int before = previous_[at(node)];
        const int after = next_[at(node)];
        if (after != kNone) previous_[at(after)] = before;
        if (before != kNone) {
            next_[at(before)] = after;
        } else {
            front_[at(degree_[at(node)])] = after;
        }
    }

private:
    std::vector<int> front_;
    std::vector<int> next_;
    std::vector<int> previous_;
    std::vector<int> degree_;
};

// What a node of the quotient graph currently is.
enum class Role : std::uint8_t {
    Waiting,     // uneliminated, in the degree lists
    Reached,     // uneliminated, its degree is out of date after an elimination
    Outmatched,  // uneliminated, out of the lists until a neighbour that
                 // dominates it is eliminated (its degree cannot be smaller)
    Merged,      // indistinguishable from another node; eliminated with it
    Element,     // eliminated: stands for the clique of its members
};

class QuotientGraph {
public:
    QuotientGraph(std::span<const int> start, std::span<const int> neighbours);

    std::vector<int> order(StopRequest stop);

private:
    int size() const { return static_cast<int>(role_.size()); }
    bool is_element(int node) const { return role_[at(node)] == Role::Element; }

    void number(int node) { position_[at(node)] = numbered_; }
    void next_elimination_tag();
    void reset_marks();

    void eliminate(int pivot);
    void absorb_into(int pivot, int node);
    void update_degrees(int element, int& min_degree);
    int two_neighbour_degree(int node, int element, int degree);
    int general_degree(int node, int degree);
    void number_merged_nodes();

    // Variables: neighbouring variables and elements. Elements: their members.
    std::vector<std::vector<int>> adjacency_;
    std::vector<std::vector<int>> members_;
    std::vector<Role> role_;
    std::vector<int> weight_;  // nodes a principal node stands for; 0 once merged
    std::vector<int> merged_into_;
    std::vector<int> mark_;
    std::vector<int> position_;
    DegreeLists lists_;
    int tag_ = 0;
    int numbered_ = 0;
};

QuotientGraph::QuotientGraph(std::span<const int> start, std::span<const int> neighbours)
    : adjacency_(start.empty() ? 0 : start.size() - 1),
      members_(adjacency_.size()),
      role_(adjacency_.size(), Role::Waiting),
      weight_(adjacency_.size(), 1),
      merged_into_(adjacency_.size(), kNone),
      mark_(adjacency_.size(), 0),
      position_(adjacency_.size(), kNone),
      lists_(static_cast<int>(adjacency_.size())) {
    const int n = size();
    if (n > 0 && (start.front() != 0 || start.back() != static_cast<int>(neighbours.size())))
        throw std::invalid_argument("adjacency start does not span the neighbour list");
    // mark_ doubles as a duplicate check here; it is reset below.
    for (int v = 0; v < n; ++v) {
        if (start[at(v)] > start[at(v) + 1])
            throw std::invalid_argument("adjacency start is not ascending");
        for (int e = start[at(v)]; e < start[at(v) + 1]; ++e) {
            const int w = neighbours[at(e)];
            if (w < 0 || w >= n || w == v || mark_[at(w)] == v + 1)
                throw std::invalid_argument("bad neighbour " + std::to_string(w) + " of node " +
                                            std::to_string(v));
            mark_[at(w)] = v + 1;
        }
        adjacency_[at(v)].assign(neighbours.begin() + start[at(v)],
                                 neighbours.begin() + start[at(v) + 1]);
    }
    std::fill(mark_.begin(), mark_.end(), 0);
    // In increasing index, so that each list starts with its highest node.
    for (int v = 0; v < n; ++v) lists_.push_front(v, static_cast<int>(adjacency_[at(v)].size()));
}

void QuotientGraph::reset_marks() {
    for (int& m : mark_) {
        if (m < kAlwaysMarked) m = 0;
    }
}

void QuotientGraph::next_elimination_tag() {
    ++tag_;
    if (tag_ < kAlwaysMarked) return;
    reset_marks();
    tag_ = 1;
}

std::vector<int> QuotientGraph::order(StopRequest stop) {
    const int n = size();
    // Isolated nodes first, in the order of their degree list.
    while (!lists_.empty(0)) {
        const int node = lists_.front(0);
        lists_.remove(node);
        role_[at(node)] = Role::Element;
        mark_[at(node)] = kAlwaysMarked;
        number(node);
        ++numbered_;
    }

    tag_ = 1;
    int min_degree = 1;
    int until_stop_check = kPivotsBetweenStopChecks;
    while (numbered_ < n) {
        if (--until_stop_check == 0) {
            ThrowIfStopRequested(stop);
            until_stop_check = kPivotsBetweenStopChecks;
        }
        while (lists_.empty(min_degree)) {
            if (++min_degree > lists_.highest_degree())
                throw std::logic_error("minimum-degree ordering lost a node");
        }
        const int pivot = lists_.front(min_degree);
        lists_.remove(pivot);
        number(pivot);
        // A supernode that holds every remaining node ends the ordering.
        if (numbered_ + weight_[at(pivot)] >= n) break;
        next_elimination_tag();
        eliminate(pivot);
        numbered_ += weight_[at(pivot)];
        if (numbered_ >= n) break;
        update_degrees(pivot, min_degree);
    }

    number_merged_nodes();
    std::vector<int> order(at(n), kNone);
    for (int v = 0; v < n; ++v) {
        const int p = position_[at(v)];
        if (p < 0 || p >= n || order[at(p)] != kNone)
            throw std::logic_error("minimum-degree ordering is not a permutation");
        order[at(p)] = v;
    }
    return order;
}

// Turns `pivot` into an element whose members are its reachable set: its
// uneliminated neighbours, then the members of the elements it absorbs (the
// element met last first).
void QuotientGraph::eliminate(int pivot) {
    mark_[at(pivot)] = tag_;
    std::vector<int> reach;
    std::vector<int> absorbed;
    for (const int neighbour : adjacency_[at(pivot)]) {
        if (mark_[at(neighbour)] >= tag_) continue;
        mark_[at(neighbour)] = tag_;
        if (is_element(neighbour)) {
            absorbed.push_back(neighbour);
        } else {
            reach.push_back(neighbour);
        }
    }
    for (auto element = absorbed.rbegin(); element != absorbed.rend(); ++element) {
        for (const int member : members_[at(*element)]) {
            if (mark_[at(member)] >= tag_ || is_element(member) ||
                role_[at(member)] == Role::Merged)
                continue;
            mark_[at(member)] = tag_;
            reach.push_back(member);
        }
        std::vector<int>().swap(members_[at(*element)]);
    }
    role_[at(pivot)] = Role::Element;
    std::vector<int>().swap(adjacency_[at(pivot)]);

    for (const int node : reach) {
        if (role_[at(node)] == Role::Waiting) lists_.remove(node);
        // What the new element now covers (the pivot, the reachable set and
        // the absorbed elements, all marked) leaves the list; the element
        // itself joins it at the end.
        auto& list = adjacency_[at(node)];
        std::erase_if(list, [&](int entry) { return mark_[at(entry)] >= tag_; });
        if (list.empty()) {
            absorb_into(pivot, node);
        } else {
            role_[at(node)] = Role::Reached;
            list.push_back(pivot);
        }
    }
    members_[at(pivot)] = std::move(reach);
}

void QuotientGraph::absorb_into(int principal, int node) {
    weight_[at(principal)] += weight_[at(node)];
    weight_[at(node)] = 0;
    mark_[at(node)] = kAlwaysMarked;
    role_[at(node)] = Role::Merged;
    merged_into_[at(node)] = principal;
}

// New external degrees of the members of the element just formed. Members
// whose only other neighbour is one element or one variable are done first
// (last reached first), as they can be merged cheaply; then the others.
void QuotientGraph::update_degrees(int element, int& min_degree) {
    // Every member's degree scan uses tags above the current one and at most
    // `min_degree` of them; `element_mark` stays above all of them, so that the
    // members count once, in `element_weight`.
    int element_mark = tag_ + min_degree;
    if (element_mark >= kAlwaysMarked) {
        reset_marks();
        tag_ = 1;
        element_mark = tag_ + min_degree;
    }

    int element_weight = 0;
    std::vector<int> two_neighbours;
    std::vector<int> more_neighbours;
    for (const int member : members_[at(element)]) {
        if (weight_[at(member)] == 0) continue;
        element_weight += weight_[at(member)];
        mark_[at(member)] = element_mark;
        if (role_[at(member)] != Role::Reached) continue;
        if (adjacency_[at(member)].size() == 2) {
            two_neighbours.push_back(member);
        } else {
            more_neighbours.push_back(member);
        }
    }

    const auto requeue = [&](int node, int degree) {
        const int external = degree - weight_[at(node)];
        lists_.push_front(node, external);
        role_[at(node)] = Role::Waiting;
        min_degree = std::min(min_degree, external);
    };
    for (auto node = two_neighbours.rbegin(); node != two_neighbours.rend(); ++node) {
        if (role_[at(*node)] != Role::Reached) continue;
        ++tag_;
        requeue(*node, two_neighbour_degree(*node, element, element_weight));
    }
    for (auto node = more_neighbours.rbegin(); node != more_neighbours.rend(); ++node) {
        if (role_[at(*node)] != Role::Reached) continue;
        ++tag_;
        requeue(*node, general_degree(*node, element_weight));
    }
    tag_ = element_mark;
}

// Degree of a member whose list is the new element and one other entry. If
// that entry is an element, the members of both elements with the same two
// neighbours are indistinguishable from `node` and merge into it; members of
// both with more neighbours are outmatched by it.
int QuotientGraph::two_neighbour_degree(int node, int element, int degree) {
    const auto& list = adjacency_[at(node)];
    const int other = list[0] == element ? list[1] : list[0];
    if (!is_element(other)) return degree + weight_[at(other)];
    for (const int member : members_[at(other)]) {
        if (member == node || weight_[at(member)] == 0) continue;
        if (mark_[at(member)] < tag_) {
            mark_[at(member)] = tag_;
            degree += weight_[at(member)];
            continue;
        }
        if (role_[at(member)] != Role::Reached) continue;
        if (adjacency_[at(member)].size() == 2) {
            absorb_into(node, member);
        } else {
            role_[at(member)] = Role::Outmatched;
        }
    }
    return degree;
}

// Degree of a member with any neighbours: the union of its variables and of
// the members of its elements, each counted once through the marks.
int QuotientGraph::general_degree(int node, int degree) {
    for (const int neighbour : adjacency_[at(node)]) {
        if (mark_[at(neighbour)] >= tag_) continue;
        mark_[at(neighbour)] = tag_;
        if (!is_element(neighbour)) {
            degree += weight_[at(neighbour)];
            continue;
        }
        for (const int member : members_[at(neighbour)]) {
            if (mark_[at(member)] >= tag_) continue;
            mark_[at(member)] = tag_;
            degree += weight_[at(member)];
        }
    }
    return degree;
}

// A merged node takes the next number after its principal node (the end of
// its chain of merges), in increasing node index.
void QuotientGraph::number_merged_nodes() {
    std::vector<int> last = position_;
    for (int v = 0; v < size(); ++v) {
        if (role_[at(v)] != Role::Merged) continue;
        int principal = v;
        while (role_[at(principal)] == Role::Merged) principal = merged_into_[at(principal)];
        position_[at(v)] = ++last[at(principal)];
    }
}

}  // namespace

std::vector<int> minimum_degree_order(std::span<const int> start, std::span<const int> neighbours,
                                      StopRequest stop) {
    QuotientGraph graph(start, neighbours);
    return graph.order(stop);
}

}  // namespace hydrosk::toolkit
