#include "front/message_box.h"

namespace vz::front {

std::string_view MessageTitle(MessageKind kind) {
  switch (kind) {
    case MessageKind::kInformation:
      return "Information";
    case MessageKind::kConfirmation:
      return "Confirm";
    case MessageKind::kError:
      return kApplicationTitle;
  }
  return {};
}

std::string_view ButtonCaption(MessageButton button) {
  switch (button) {
    case mbYes:
      return "&Yes";
    case mbNo:
      return "&No";
    case mbOK:
      return "OK";
    case mbCancel:
      return "Cancel";
    case mbAll:
      return "Yes to &All";
    case mbNoToAll:
      return "N&o to All";
    case mbOpenFolder:
      return "Open &Folder";
    case mbNone:
      break;
  }
  return {};
}

MessageButton DefaultButton(MessageButtons buttons) {
  if (buttons & mbOK) return mbOK;
  if (buttons & mbYes) return mbYes;
  return mbNone;
}

MessageButton EscapeButton(MessageButtons buttons) {
  if (buttons & mbCancel) return mbCancel;
  if (buttons & mbNo) return mbNo;
  return mbOK;
}

BoxOrigin CenteredOn(const ScreenRect& window, int32_t box_width, int32_t box_height) {
  return {window.left + window.width / 2 - box_width / 2,
          window.top + window.height / 2 - box_height / 2};
}

std::string FailureReportText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

}  // namespace vz::front
