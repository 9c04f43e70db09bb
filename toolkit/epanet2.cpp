// The legacy EN... functions: each acts on the one default project of the
// process. Everything else in the program uses toolkit::Project objects.
#include "toolkit/epanet2.h"

#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "toolkit/codes.h"
#include "toolkit/error_messages.h"
#include "toolkit/project.h"

namespace {

using hydrosk::toolkit::Project;

Project& default_project() {
    static Project project;
    return project;
}

// No exception may cross the C boundary; an unexpected one reads as
// EPANET's "insufficient memory" or "undefined error".
template <typename F>
int guarded(F&& call) {
    try {
        return call(default_project());
    } catch (const std::bad_alloc&) {
        return hydrosk::toolkit::codes::kInsufficientMemory;
    } catch (...) {
        return hydrosk::toolkit::codes::kInvalidFormat;
    }
}

// Runs a getter with an out-parameter of type T and stores the value, even
// on failure (EPANET clears outputs on failure too).
template <typename T, typename F>
int get_value(T* out, F&& call) {
    return guarded([&](Project& p) {
        T value{};
        const int rc = call(p, value);
        if (out) *out = value;
        return rc;
    });
}

// A getter of a double whose value crosses this interface in single
// precision, as in EPANET's legacy API.
template <typename F>
int get_single(float* out, F&& call) {
    double value = 0.0;
    const int rc = get_value(&value, std::forward<F>(call));
    if (out) *out = static_cast<float>(value);
    return rc;
}

int copy_id(const std::string& id, char* out) {
    if (out == nullptr) return 0;
    const size_t n = std::min(id.size(), static_cast<size_t>(EN_MAXID));
    std::memcpy(out, id.data(), n);
    out[n] = '\0';
    return 0;
}

int get_id(char* out, int (Project::*getter)(int, std::string&) const, int index) {
    return guarded([&](Project& p) {
        std::string id;
        const int rc = (p.*getter)(index, id);
        copy_id(id, out);
        return rc;
    });
}

}  // namespace

extern "C" {

int ENopen(const char* inpFile, const char* rptFile, const char* outFile) {
    return guarded([&](Project& p) {
        return p.open(inpFile ? inpFile : "", rptFile ? rptFile : "", outFile ? outFile : "");
    });
}

int ENclose(void) {
    return guarded([](Project& p) { return p.close(); });
}

int ENgetcount(int code, int* count) {
    return get_value(count, [&](Project& p, int& v) { return p.get_count(code, v); });
}

int ENgetnodeindex(const char* id, int* index) {
    return get_value(index, [&](Project& p, int& v) { return p.get_node_index(id ? id : "", v); });
}

int ENgetnodeid(int index, char* id) {
    return get_id(id, &Project::get_node_id, index);
}

int ENgetnodetype(int index, int* nodeType) {
    return get_value(nodeType, [&](Project& p, int& v) { return p.get_node_type(index, v); });
}

int ENgetlinkindex(const char* id, int* index) {
    return get_value(index, [&](Project& p, int& v) { return p.get_link_index(id ? id : "", v); });
}

int ENgetlinkid(int index, char* id) {
    return get_id(id, &Project::get_link_id, index);
}

int ENgetlinktype(int index, int* linkType) {
    return get_value(linkType, [&](Project& p, int& v) { return p.get_link_type(index, v); });
}

int ENgetlinknodes(int index, int* node1, int* node2) {
    return guarded([&](Project& p) {
        int a = 0, b = 0;
        const int rc = p.get_link_nodes(index, a, b);
        if (node1) *node1 = a;
        if (node2) *node2 = b;
        return rc;
    });
}

int ENgetpatternid(int index, char* id) {
    return get_id(id, &Project::get_pattern_id, index);
}

int ENgetpatternindex(const char* id, int* index) {
    return get_value(index,
                     [&](Project& p, int& v) { return p.get_pattern_index(id ? id : "", v); });
}

int ENgettimeparam(int param, long* value) {
    return get_value(value, [&](Project& p, long& v) { return p.get_time_param(param, v); });
}

int ENgetflowunits(int* units) {
    return get_value(units, [](Project& p, int& v) { return p.get_flow_units(v); });
}

int ENgetnodevalue(int index, int property, float* value) {
    return get_single(
        value, [&](Project& p, double& out) { return p.get_node_value(index, property, out); });
}

int ENsetnodevalue(int index, int property, float value) {
    return guarded([&](Project& p) { return p.set_node_value(index, property, value); });
}

int ENgetlinkvalue(int index, int property, float* value) {
    return get_single(
        value, [&](Project& p, double& out) { return p.get_link_value(index, property, out); });
}

int ENgetstatistic(int type, float* value) {
    return get_single(value, [&](Project& p, double& out) { return p.get_statistic(type, out); });
}

int ENsolveH(void) {
    return guarded([](Project& p) { return p.solve_h(); });
}
int ENopenH(void) {
    return guarded([](Project& p) { return p.open_h(); });
}
int ENinitH(int initFlag) {
    return guarded([&](Project& p) { return p.init_h(initFlag); });
}
int ENcloseH(void) {
    return guarded([](Project& p) { return p.close_h(); });
}

int ENrunH(long* currentTime) {
    return get_value(currentTime, [](Project& p, long& t) { return p.run_h(t); });
}

int ENnextH(long* tStep) {
    return get_value(tStep, [](Project& p, long& step) { return p.next_h(step); });
}

int ENgeterror(int errcode, char* errmsg, int maxLen) {
    if (errmsg == nullptr || maxLen <= 0) return 0;
    const std::string_view text = hydrosk::toolkit::error_message(errcode);
    const size_t n = std::min(text.size(), static_cast<size_t>(maxLen));
    std::memcpy(errmsg, text.data(), n);
    errmsg[n] = '\0';
    return text.empty() ? hydrosk::toolkit::codes::kBadParameter : 0;
}

}  // extern "C"
