#include "app/outline_widget.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <QApplication>
#include <QImage>
#include <QWheelEvent>
#include <cstdio>
#include <filesystem>

#include "test_support.h"

namespace vz {
namespace {

using testing::ScratchDir;

// The rows the view lays out, top to bottom, each as its depth in spaces and its text.
std::vector<std::string> VisibleRows(const OutlineWidget& view) {
  std::vector<std::string> rows;
  for (QModelIndex at = view.model()->index(0, 0); at.isValid(); at = view.indexBelow(at)) {
    int depth = 0;
    for (QModelIndex p = at.parent(); p.isValid(); p = p.parent()) ++depth;
    rows.push_back(std::string(static_cast<size_t>(depth), ' ') +
                   at.data().toString().toStdString());
  }
  return rows;
}

QModelIndex Find(const OutlineWidget& view, const std::string& text) {
  const QModelIndexList found =
      view.model()->match(view.model()->index(0, 0), Qt::DisplayRole, QString::fromStdString(text),
                          1, Qt::MatchExactly | Qt::MatchRecursive);
  return found.isEmpty() ? QModelIndex() : found.first();
}

// Whether the picture's opaque pixels appear, exactly, somewhere in the row as rendered.
bool RowShows(const QImage& rendered, const QRect& row, const QPixmap& picture) {
  const QImage want = picture.toImage().convertToFormat(QImage::Format_ARGB32);
  for (int x = row.left(); x + 16 <= row.right() + 1 && x < row.left() + 48; ++x) {
    for (int y = row.top(); y + 16 <= row.bottom() + 1; ++y) {
      bool same = true;
      for (int py = 0; py < 16 && same; ++py) {
        for (int px = 0; px < 16 && same; ++px) {
          const QColor w = want.pixelColor(px, py);
          if (w.alpha() == 255) same = rendered.pixelColor(x + px, y + py).rgb() == w.rgb();
        }
      }
      if (same) return true;
    }
  }
  return false;
}

struct InfoZipArchive {
  ScratchDir dir;
  std::string zip = dir / "addon.zip";
  std::string readme = "Read me first.\n";
  std::string c_png = std::string(5000, 'p');

  bool Make() {
    if (!testing::HaveTool("zip")) return false;
    const std::filesystem::path src = dir.path() / "src";
    std::filesystem::create_directories(src / "docs/img");
    testing::WriteFile((src / "readme.txt").string(), readme);
    testing::WriteFile((src / "docs/a.txt").string(), "a");
    testing::WriteFile((src / "docs/b.txt").string(), "bb");
    testing::WriteFile((src / "docs/img/c.png").string(), c_png);
    return std::system(("cd " + src.string() + " && zip -q " + zip +
                        " readme.txt docs/ docs/a.txt docs/b.txt docs/img/ docs/img/c.png")
                           .c_str()) == 0;
  }
};

std::string CrcLine(const std::string& data) {
  char text[32];
  std::snprintf(
      text, sizeof text, "CRC: %lX",
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
  return text;
}

TEST(OutlineWidgetTest, ShowsAnInfoZipArchiveAsATreeWithItsPictures) {
  InfoZipArchive archive;
  if (!archive.Make()) GTEST_SKIP() << "zip is not installed";
  OutlineWidget view;
  view.resize(400, 900);
  int changes = 0;
  view.Outline().OnChange = [&](void*) { ++changes; };
  view.Outline().SetFileName(archive.zip);
  EXPECT_EQ(changes, 1);
  QCoreApplication::processEvents();     // the full expansion waits for the event loop
  EXPECT_EQ(view.Outline().Count(), 6);  // four files and the two folder entries zip adds

  // Opened fully expanded: every file shows its eight attribute lines.
  std::vector<std::string> rows = VisibleRows(view);
  ASSERT_EQ(rows.size(), 6u + 4 * 8);
  std::vector<std::string> nodes;
  for (const std::string& row : rows) {
    if (row.find(": ") == std::string::npos) nodes.push_back(row);
  }
  EXPECT_EQ(nodes, (std::vector<std::string>{"readme.txt", "docs", " a.txt", " b.txt", " img",
                                             "  c.png"}));
  EXPECT_EQ(rows[2], " Uncompressed Size: " + std::to_string(archive.readme.size()));
  EXPECT_EQ(rows[5], " " + CrcLine(archive.readme));
  EXPECT_EQ(rows.back().substr(0, 14), "   Time Stamp:");

  view.FullCollapse();
  EXPECT_EQ(VisibleRows(view), (std::vector<std::string>{"readme.txt", "docs"}));
  view.FullExpand();
  view.FullCollapse();  // before the loop runs: nothing was ever expanded
  QCoreApplication::processEvents();
  EXPECT_EQ(VisibleRows(view).size(), 2u);
  view.FullExpand();
  QCoreApplication::processEvents();

  // Rendered: deeper rows sit further right, and each row shows its kind's picture, the selected
  // variant on the selected row.
  const QModelIndex docs = Find(view, "docs"), img = Find(view, "img"), c = Find(view, "c.png");
  const QModelIndex readme = Find(view, "readme.txt");
  EXPECT_LT(view.visualRect(docs).left(), view.visualRect(img).left());
  EXPECT_LT(view.visualRect(img).left(), view.visualRect(c).left());
  view.setCurrentIndex(docs);
  view.show();
  const QImage shot = view.viewport()->grab().toImage();
  const QModelIndex attribute = view.model()->index(0, 0, readme);
  EXPECT_TRUE(RowShows(shot, view.visualRect(docs), view.Picture(OutlinePicture::kFolderSelected)));
  EXPECT_FALSE(RowShows(shot, view.visualRect(docs), view.Picture(OutlinePicture::kFolder)));
  EXPECT_TRUE(RowShows(shot, view.visualRect(img), view.Picture(OutlinePicture::kFolder)));
  EXPECT_TRUE(RowShows(shot, view.visualRect(readme), view.Picture(OutlinePicture::kFile)));
  EXPECT_TRUE(RowShows(shot, view.visualRect(attribute), view.Picture(OutlinePicture::kAttribute)));

  // Only 16 by 16 pictures replace the built-in ones; a null picture brings it back.
  const QPixmap built_in = view.Picture(OutlinePicture::kFile);
  QPixmap red(16, 16), big(32, 32);
  red.fill(Qt::red);
  big.fill(Qt::blue);
  view.SetPicture(OutlinePicture::kFile, big);
  EXPECT_EQ(view.Picture(OutlinePicture::kFile).toImage(), built_in.toImage());
  view.SetPicture(OutlinePicture::kFile, red);
  EXPECT_TRUE(RowShows(view.viewport()->grab().toImage(), view.visualRect(readme), red));
  view.SetPicture(OutlinePicture::kFile, QPixmap());
  EXPECT_EQ(view.Picture(OutlinePicture::kFile).toImage(), built_in.toImage());
}

TEST(OutlineWidgetTest, TheWheelWalksTheSelection) {
  InfoZipArchive archive;
  if (!archive.Make()) GTEST_SKIP() << "zip is not installed";
  OutlineWidget view;
  view.Outline().SetFileName(archive.zip);
  view.FullCollapse();
  auto wheel = [&](int delta) {
    QWheelEvent event(QPointF(5, 5), view.mapToGlobal(QPoint(5, 5)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &event);
    return view.currentIndex().data().toString().toStdString();
  };
  const QModelIndex readme = Find(view, "readme.txt");
  struct Step {
    const char* from;  // select this node first; empty: keep going from where the last step ended
    int delta;         // negative: wheel down
    const char* to;
  };
  const Step steps[] = {
      {"readme.txt", -120, "Compressed Size:"},  // into the first child, expanding its parent
      {"", 120, "readme.txt"},                   // back up to the parent
      {"docs", 120, "Time Stamp:"},              // the previous sibling's last child
      {"", -120, "docs"},                        // the next node in tree order
      {"", -120, "a.txt"},
      {"c.png", 120, "img"},     // no previous sibling: the parent
      {"", 120, "Time Stamp:"},  // b.txt's last line
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.to);
    if (*step.from != '\0') view.setCurrentIndex(Find(view, step.from));
    EXPECT_EQ(wheel(step.delta).substr(0, std::string(step.to).size()), step.to);
  }
  EXPECT_TRUE(view.isExpanded(readme));

  view.clearSelection();
  view.setCurrentIndex(QModelIndex());
  wheel(-120);
  EXPECT_FALSE(view.currentIndex().isValid());  // without a selection the wheel only scrolls
}

}  // namespace
}  // namespace vz
