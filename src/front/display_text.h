// Names and comments from an archive, made safe to show on a terminal or in a window: an archive
// can hold any bytes, and a name that carries escape sequences could otherwise drive the
// terminal (set its title, clear the screen) when it is listed.
#pragma once

#include <string>
#include <string_view>

namespace vz {

// Control characters become "^X" (ESC is "^[", DEL "^?"), the C1 controls of UTF-8 (U+0080 to
// U+009F) "M-^X", as `cat -v` shows them; bytes that are not valid UTF-8 become "\xHH"; the
// invisible characters that change how text reads (bidi marks, embeddings, overrides, isolates,
// zero-width characters, U+FEFF) "<U+202E>". Tabs, and line breaks (LF, CR LF) when
// keep_line_breaks is set, stay as they are (a CR alone does not); everything else passes.
std::string Printable(std::string_view text, bool keep_line_breaks = false);

}  // namespace vz
