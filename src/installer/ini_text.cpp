#include "installer/ini_text.h"

namespace vz::installer {

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::optional<std::string> IniValue(std::string_view text, std::string_view section,
                                    std::string_view key) {
  std::string current;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
      line.remove_suffix(1);
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty() || line.front() == ';' || line.front() == '/') continue;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      current =
          LowerAscii(line.substr(1, close == std::string_view::npos ? line.size() : close - 1));
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view name = line.substr(0, eq);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    if (!section.empty() && !current.starts_with(LowerAscii(section))) continue;
    if (LowerAscii(name) != LowerAscii(key)) continue;
    std::string_view value = line.substr(eq + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
      value.remove_prefix(1);
    const size_t comment = value.find("//");
    if (comment != std::string_view::npos) value = value.substr(0, comment);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
  }
  return std::nullopt;
}

std::string FltsimBlock(std::string_view text) {
  const std::string lower = LowerAscii(text);
  const size_t at = lower.find("[fltsim.");
  if (at == std::string::npos) return {};
  std::string block;
  size_t start = at;
  bool first = true;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    if (line.empty() || (!first && line.front() == '[')) break;
    block += std::string(line) + "\n";
    first = false;
  }
  return block;
}

}  // namespace vz::installer
