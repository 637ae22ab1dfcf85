// Reading the INI-like texts of FSX add-ons (aircraft.cfg, sim.cfg, readmes): a value by section
// and key, and a readme's [fltsim.x] block.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vz::installer {

// text with ASCII letters in lower case (the simulator's names compare so).
std::string LowerAscii(std::string_view text);

// The value of key in the first section whose name begins with section (both compared ignoring
// ASCII case; an empty section matches any), trimmed, without a trailing "//" comment or enclosing
// quotes; nothing when there is none.
std::optional<std::string> IniValue(std::string_view text, std::string_view section,
                                    std::string_view key);

// The [fltsim.x] block of a readme: from its header to the first empty line or next section, each
// line ending in "\n"; empty when there is none.
std::string FltsimBlock(std::string_view text);

}  // namespace vz::installer
