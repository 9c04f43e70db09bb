// EPANET 2.2's message texts by code: errors (101-309) and the general
// hydraulic warnings (1-6), as ENgeterror and the report file give them.
#pragma once

#include <string>
#include <string_view>

namespace hydrosk::toolkit {

// The error text for a code ("one or more errors in input file" for 200), or
// "" for a code EPANET has no text for.
std::string_view error_message(int code);

// The warning text for codes 1 to 6 ("WARNING: System hydraulically
// unbalanced." for 1), or "" for other codes.
std::string_view warning_message(int code);

// ENgeterror's text: the warning text for 1 to 6, otherwise "Error <code>: "
// followed by "function call contains " for codes 202-222 and 240-261, then
// the error text.
std::string toolkit_error_text(int code);

}  // namespace hydrosk::toolkit
