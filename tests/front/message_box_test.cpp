// The rules every box of the window follows: where it goes, which button Enter and Escape (and
// the title bar) press, and the text of the failure report.
#include "front/message_box.h"

#include <gtest/gtest.h>

namespace vz::front {
namespace {

TEST(MessageBoxTest, PlacementButtonsAndFailureText) {
  const struct {
    ScreenRect window;
    int32_t width, height;
    BoxOrigin origin;
  } placements[] = {
      {{100, 50, 600, 535}, 200, 100, {300, 267}},
      {{0, 0, 601, 535}, 201, 99, {200, 218}},  // each half truncated on its own
      // Partly off-screen: the box follows the window; halves truncate toward zero.
      {{-700, -40, 600, 535}, 250, 121, {-525, 167}},
      {{-5, -5, -3, 7}, 3, 0, {-7, -2}},
  };
  for (const auto& p : placements) {
    EXPECT_EQ(CenteredOn(p.window, p.width, p.height), p.origin) << p.window.left;
  }

  const struct {
    MessageButtons buttons;
    MessageButton enter, escape;
  } sets[] = {
      {mbOK, mbOK, mbOK},
      {mbOK | mbCancel, mbOK, mbCancel},
      {mbYes | mbCancel, mbYes, mbCancel},
      {mbYes | mbNo | mbAll, mbYes, mbNo},
  };
  for (const auto& s : sets) {
    EXPECT_EQ(DefaultButton(s.buttons), s.enter) << int{s.buttons};
    EXPECT_EQ(EscapeButton(s.buttons), s.escape) << int{s.buttons};
  }
  std::string captions;
  for (const MessageButton b : kButtonOrder) captions += std::string(ButtonCaption(b)) + " ";
  EXPECT_EQ(captions, "&Yes &No OK Cancel &All ");
  EXPECT_EQ(MessageTitle(MessageKind::kInformation), "Information");
  EXPECT_EQ(MessageTitle(MessageKind::kConfirmation), "Confirm");
  EXPECT_EQ(MessageTitle(MessageKind::kError), "Veldrin Zip");

  const char* texts[][2] = {{"File not found", "File not found."},
                            {"Done!", "Done!"},
                            {"Invalid Stream\r\n", "Invalid Stream\r\n"},
                            {"", ""},
                            {"path/a.txt", "path/a.txt."},
                            {"caf\xc3\xa9", "caf\xc3\xa9."}};
  for (const auto& t : texts) EXPECT_EQ(FailureReportText(t[0]), t[1]);
}

}  // namespace
}  // namespace vz::front
