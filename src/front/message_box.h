// The window's message boxes as rules a toolkit follows: kinds with their titles, the buttons
// with their captions, order, default and Escape buttons, where a box is placed, and the text of
// the failure report. A toolkit draws the box; everything it must decide comes from here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "front/product.h"

namespace vz::front {

// Information ("Information", information icon), confirmation ("Confirm", question icon), and the
// failure report (the application's title, error icon).
enum class MessageKind : uint8_t { kInformation, kConfirmation, kError };

// A set of buttons is a bit mask of these; an answer is one of them, or mbNone when the box was
// closed without a button (its title bar).
enum MessageButton : uint8_t {
  mbNone = 0,
  mbYes = 1,
  mbNo = 2,
  mbOK = 4,
  mbCancel = 8,
  mbAll = 16,        // "Yes to All"
  mbNoToAll = 32,    // "No to All"
  mbOpenFolder = 64  // "Open Folder": the folder a message names, in the file manager
};
using MessageButtons = uint8_t;

// Buttons are laid out left to right in this order, when present.
inline constexpr std::array<MessageButton, 7> kButtonOrder = {mbYes, mbNo,      mbOpenFolder, mbOK,
                                                              mbAll, mbNoToAll, mbCancel};

std::string_view MessageTitle(MessageKind kind);
// "&Yes", "&No", "OK", "Cancel", "Yes to &All", "N&o to All", "Open &Folder" ("&" marks the
// key that presses the button).
std::string_view ButtonCaption(MessageButton button);
// The button Enter presses: OK when present, else Yes (mbNone when neither is there).
MessageButton DefaultButton(MessageButtons buttons);
// The button Escape presses, and the answer of a box closed from its title bar: Cancel when
// present, else No, else OK.
MessageButton EscapeButton(MessageButtons buttons);

// Screen coordinates of a window: left and top edges, width and height.
struct ScreenRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const ScreenRect&) const = default;
};

struct BoxOrigin {
  int32_t left = 0;
  int32_t top = 0;
  bool operator==(const BoxOrigin&) const = default;
};

// Where a box of the given size goes to be centred on a window: halves are truncated toward zero,
// and the result is not moved onto the screen (a window partly off-screen gets a box partly
// off-screen).
BoxOrigin CenteredOn(const ScreenRect& window, int32_t box_width, int32_t box_height);

// The text of the failure report for a failure's message: a full stop is added when the message
// is not empty and its last byte is above "." (so "File not found" gets one and "Done!" not).
std::string FailureReportText(std::string_view message);

}  // namespace vz::front
