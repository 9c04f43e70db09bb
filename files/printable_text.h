// Text from files (IDs, lines of an INP file) made safe to show on a terminal
// or in a message: characters that are not printable are written as escapes
// instead of reaching the terminal, where a control sequence could clear the
// screen, move the cursor or hide what follows.
#pragma once

#include <string>
#include <string_view>

namespace hydrosk::files {

// The bytes with every control character written as \xNN: C0 controls
// (below 0x20, the tab excepted), DEL, and the C1 controls (U+0080 to U+009F), as well as the
// invisible marks that reverse the direction of text (U+200E, U+200F, U+202A
// to U+202E, U+2066 to U+2069) as \u{NNNN}. Text in UTF-8 keeps its other
// characters; other bytes (Latin-1, say) stay as they are, except 0x80 to
// 0x9F, the C1 controls of those code pages.
std::string PrintableText(std::string_view bytes);

// A field of a file (an ID, a number's text) as a message names it: PrintableText of at most
// kFieldCharactersShown characters, with "…" after them when the field is longer, so that a
// field of megabytes never fills a message or a terminal.
inline constexpr std::size_t kFieldCharactersShown = 60;
std::string FieldText(std::string_view bytes);

// The same cut without the escapes, for a window that shows the text itself.
std::string CutField(std::string_view bytes);

}  // namespace hydrosk::files
