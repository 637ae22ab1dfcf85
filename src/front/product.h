// The product's own words that several parts of the window use.
#pragma once

#include <string_view>

namespace vz::front {

// The program's title: the caption of the failure report and of the task-bar entry.
inline constexpr std::string_view kApplicationTitle = "Veldrin Zip";
// The main window's caption; with a zip open, " - " and the zip's name follow it.
inline constexpr std::string_view kWindowCaption = "Veldrin - ZIP";
// The maker's web address (the warning about FSX, the default comment, the banner).
inline constexpr std::string_view kMakerWebAddress = "https://veldrin.example";

}  // namespace vz::front
