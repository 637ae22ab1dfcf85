#include "components/meter.h"

#include <gtest/gtest.h>

#include <memory>

#include "components/unzipper.h"
#include "test_support.h"
#include "zip_builder.h"

namespace vz {
namespace {

using testing::ScratchDir;
using testing::ZipBuilder;

TEST(MeterTest, BlocksFollowTheTensOfThePosition) {
  for (const MeterOrientation orientation : {moHorizontal, moVertical}) {
    Meter meter;
    meter.SetOrientation(orientation);
    for (int value = 0; value <= 255; ++value) {
      meter.SetPosition(value);
      const size_t expected = value >= 100 ? 0 : static_cast<size_t>(value / 10);
      ASSERT_EQ(meter.Paint(meter.Width(), meter.Height()).blocks.size(), expected)
          << "position " << value << " orientation " << int(orientation);
    }
  }
}

// Nine blocks and their gaps must fit inside the frame, never touch each other, and start at the
// bar's origin: left for a horizontal bar, bottom for a vertical one. (The rule is made for bars of
// 100 pixels and more; shorter ones lose their last blocks to the clipping of the painter.)
TEST(MeterTest, NineBlocksFitInsideTheFrameAtEverySize) {
  for (const MeterOrientation orientation : {moHorizontal, moVertical}) {
    Meter meter;
    meter.SetOrientation(orientation);
    meter.SetPosition(99);
    for (int length = 100; length <= 400; ++length) {
      const int cw = orientation == moHorizontal ? length : 14;
      const int ch = orientation == moHorizontal ? 16 : length;
      const MeterPainting painting = meter.Paint(cw, ch);
      ASSERT_EQ(painting.blocks.size(), 9u);
      for (size_t i = 0; i < painting.blocks.size(); ++i) {
        const MeterRect& r = painting.blocks[i].rect;
        ASSERT_TRUE(r.left >= 1 && r.top >= 1 && r.right <= cw - 1 && r.bottom <= ch - 1)
            << "block " << i << " of a " << cw << " by " << ch << " bar leaves the frame";
        if (i == 0) continue;
        const MeterRect& before = painting.blocks[i - 1].rect;
        if (orientation == moHorizontal) {
          ASSERT_EQ(r.left, before.right + 2);
        } else {
          ASSERT_EQ(r.bottom, before.top - 1);
        }
      }
    }
  }
}

TEST(MeterTest, TheWindowsVerticalMeter) {
  Meter meter;
  meter.SetOrientation(moVertical);
  EXPECT_EQ(meter.Width(), 16);
  EXPECT_EQ(meter.Height(), 150);
  meter.SetSize(14, 125);
  meter.SetCtl3D(false);
  meter.SetUnusedColor(MeterColor::Value(0xFFFFFF));
  meter.SetUsedColor(MeterColor::Value(15118749));
  meter.SetPosition(25);
  const MeterPainting painting = meter.Paint(14, 125);
  ASSERT_EQ(painting.blocks.size(), 2u);
  EXPECT_EQ(painting.blocks[0].rect, (MeterRect{2, 112, 12, 124}));  // 12 pixels high
  EXPECT_EQ(painting.blocks[1].rect, (MeterRect{2, 99, 12, 111}));
  EXPECT_EQ(painting.blocks[0].color, MeterColor::Rgb(157, 177, 230));
  EXPECT_EQ(painting.background.rect, (MeterRect{0, 0, 14, 125}));
  ASSERT_EQ(painting.frame.size(), 4u);
  for (const MeterFill& line : painting.frame) EXPECT_EQ(line.color, MeterColor::Rgb(0, 0, 0));

  meter.SetCtl3D(true);
  const MeterPainting sunken = meter.Paint(14, 125);
  EXPECT_EQ(sunken.frame.front().color, MeterColor::System(MeterColor::kButtonShadow));
  EXPECT_EQ(sunken.frame.back().color, MeterColor::System(MeterColor::kButtonHighlight));
  meter.SetBorderStyle(bsNone);
  EXPECT_TRUE(meter.Paint(14, 125).frame.empty());
}

// Every shown change repaints at once and then lets the window handle its messages; a value that
// shows as what is already shown does neither.
TEST(MeterTest, RepaintsOnlyWhenTheShownValueChanges) {
  Meter meter;
  std::string calls;
  meter.OnRepaint = [&] { calls += 'r'; };
  meter.OnProcessMessages = [&] { calls += 'p'; };
  for (const int value : {40, 40, 100, 0, 255, 7, 7, 200}) meter.SetPosition(value);
  EXPECT_EQ(calls, "rprprprp");  // 40, 100 (as 0), 7, 200 (as 0)
  EXPECT_EQ(meter.Position(), 0);

  calls.clear();
  meter.SetUsedColor(meter.UsedColor());
  meter.SetUsedColor(MeterColor::Rgb(255, 128, 128));
  meter.SetOrientation(moHorizontal);
  EXPECT_EQ(calls, "r");
}

ZipBuilder ThreeItems() {
  ZipBuilder zip;
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    testing::ZipEntry e;
    e.name = name;
    e.data = testing::RandomBytes(200000, 3);
    zip.entries.push_back(e);
  }
  return zip;
}

// Components refer to links and links to meters without owning them; whichever is destroyed
// first, nothing calls into it afterwards, even when it goes while an extraction reports progress.
TEST(MeterTest, DestroyedMetersAndLinksAreForgottenEvenDuringAnExtraction) {
  ScratchDir dir;
  testing::WriteFile(dir / "x.zip", ThreeItems().Build());
  UnZipper unzipper;
  unzipper.OpenArchive(dir / "x.zip");
  unzipper.EditSettings([&](ComponentSettings& s) { s.SetBaseDirectory(dir.path().string()); });

  auto item_meter = std::make_unique<Meter>();
  auto archive_meter = std::make_unique<Meter>();
  auto item_link = std::make_unique<WidgetMeterLink>(item_meter.get());
  WidgetMeterLink archive_link;
  archive_link.SetMeter(archive_meter.get());
  unzipper.SetItemProgressMeter(item_link.get());
  unzipper.SetArchiveProgressMeter(&archive_link);

  // The first item's progress closes "the window": both the item meter and its link go.
  int pumps = 0;
  item_meter->OnProcessMessages = [&] {
    ++pumps;
    item_meter.reset();
    item_link.reset();
  };
  unzipper.ExtractFiles("*.*");
  EXPECT_EQ(pumps, 1);
  EXPECT_EQ(unzipper.ItemProgressMeter(), nullptr);
  EXPECT_EQ(archive_link.GetMeter(), archive_meter.get());
  EXPECT_EQ(archive_meter->Position(), 0);  // 100 at the end shows as 0

  archive_meter.reset();
  EXPECT_EQ(archive_link.GetMeter(), nullptr);
  archive_link.DoProgress(50);  // a link without a meter does nothing
  archive_link.Reset();
  unzipper.ExtractFiles("*.*");
}

}  // namespace
}  // namespace vz
