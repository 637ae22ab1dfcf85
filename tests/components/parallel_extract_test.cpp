// Extraction with items decoded ahead on worker threads must leave the same files and fire the
// same events, in the same order, as extraction on the calling thread alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "codec/crypt_streams.h"
#include "codec/method_codecs.h"
#include "components/unzipper.h"
#include "corpus.h"
#include "platform/memory_stream.h"
#include "test_support.h"
#include "zip_builder.h"
#include "zlib_helpers.h"

namespace vz {
namespace {

using testing::CorpusKind;
using testing::MakeCorpus;
using testing::ZipEntry;
namespace fs = std::filesystem;

ZipEntry Entry(const std::string& name, const std::vector<uint8_t>& data, uint16_t method = 0) {
  ZipEntry e;
  e.name = name;
  e.crc = Crc32Of(data);
  e.uncompressed_size = static_cast<int64_t>(data.size());
  e.method = method;
  if (method == 8) {
    e.data = testing::RawDeflate(data);
  } else if (method == 12) {
    MemoryStream source;
    source.WriteBuffer(data);
    source.SetPosition(0);
    MemoryStream out;
    EncodeMethod(LibMethod::kBzip2, source, out, {});
    e.data = out.Data();
    e.version_needed = 46;
  } else {
    e.data = data;
  }
  return e;
}

// A tree of mixed items: folders, stored, deflated, bzip2, empty, encrypted, a Unix mode, a local
// header that names its item differently, damaged data and a name that leaves the destination.
std::vector<uint8_t> MixedArchive() {
  testing::ZipBuilder b;
  ZipEntry folder;
  folder.name = "d/";
  folder.external_attributes = 0x10;
  b.entries.push_back(folder);
  b.entries.push_back(Entry("d/stored.txt", MakeCorpus(CorpusKind::kText, 3000, 1)));
  b.entries.push_back(Entry("d/big.txt", MakeCorpus(CorpusKind::kText, 300000, 2), 8));
  b.entries.push_back(Entry("d/empty", {}));
  b.entries.push_back(Entry("e/lib.bin", MakeCorpus(CorpusKind::kText, 40000, 3), 12));
  ZipEntry mode = Entry("e/mode.txt", MakeCorpus(CorpusKind::kText, 5000, 4), 8);
  mode.version_made = 3 << 8 | 20;
  mode.external_attributes = 0100640u << 16;
  b.entries.push_back(mode);
  const auto secret = MakeCorpus(CorpusKind::kText, 2000, 5);
  ZipEntry encrypted = Entry("sec.txt", secret);
  MemoryStream sealed;
  DfEncryptStream encrypt(sealed, Crc32Of(secret), "pw", SeededRandomBytes(7));
  encrypt.WriteBuffer(secret);
  encrypted.data = sealed.Data();
  encrypted.flag |= 1;
  b.entries.push_back(encrypted);
  ZipEntry bad = Entry("bad.txt", MakeCorpus(CorpusKind::kText, 20000, 6), 8);
  bad.crc ^= 1;
  b.entries.push_back(bad);
  b.entries.push_back(Entry("../evil.txt", {'x'}));
  ZipEntry renamed = Entry("local.txt", {'l'});
  renamed.local_name = "other.txt";
  b.entries.push_back(renamed);
  for (int i = 0; i < 12; ++i) {
    const std::string name = "u/f" + std::to_string(i);
    b.entries.push_back(Entry(name, MakeCorpus(CorpusKind::kText, 2000 + 700 * i, 10 + i), 8));
  }
  b.entries.push_back(Entry("d/big2.txt", MakeCorpus(CorpusKind::kText, 150000, 30), 8));
  return b.Build();
}

struct Scenario {
  const char* name;
  std::vector<std::string> existing;  // files there before, each holding "old"
  std::set<std::string> overwrite;    // the existing files the user lets be replaced
  std::string declined;               // the item the user does not let be extracted
  int abort_at = 0;                   // the item progress event answered with abort (1-based)
  int archive_abort_at = 0;           // the archive progress event answered with abort (1-based)
};

struct Outcome {
  std::vector<std::string> events;
  std::map<std::string, std::string> tree;  // path: kind, mode, time and bytes
  bool aborted = false;
};

Outcome ExtractWith(const std::string& archive, const Scenario& s, int threads,
                    int64_t ahead_minimum = 0) {
  testing::ScratchDir dir;
  const std::string dest = dir / "out";
  fs::create_directories(dest);
  for (const auto& name : s.existing) {
    fs::create_directories(fs::path(dest + "/" + name).parent_path());
    testing::WriteFile(dest + "/" + name, std::string("old"));
    testing::portable::SetModifiedTime(dest + "/" + name, 1000000000);
  }
  Outcome out;
  UnZipper unzipper;
  unzipper.EditSettings([&](ComponentSettings& s) { s.SetThreadCount(threads); });
  unzipper.SetFileName(archive);
  // 0: every item is decoded ahead into a work file, however small; a large value: every item
  // is decoded ahead into memory.
  unzipper.GetArchive()->SetExtractAheadMinimum(ahead_minimum);
  unzipper.EditSettings([&](ComponentSettings& s) {
    s.SetExtractOptions(eoCreateDirs | eoRestorePath);
    s.SetBaseDirectory(dest);
    s.SetPassword("pw");
  });
  auto name_of = [](ArchiveItem* item) { return item ? item->StoredName() : "-"; };
  int progress_events = 0;
  unzipper.OnArchiveItemProgress = [&](void*, ArchiveItem* item, uint8_t p, bool& abort) {
    out.events.push_back("item " + name_of(item) + " " + std::to_string(p));
    if (++progress_events == s.abort_at) abort = true;
  };
  int archive_events = 0;
  unzipper.OnArchiveProgress = [&](void*, uint8_t p, bool& abort) {
    out.events.push_back("archive " + std::to_string(p));
    if (++archive_events == s.archive_abort_at) abort = true;
  };
  unzipper.OnConfirmProcessItem = [&](void*, ArchiveItem* item, ProcessType, bool& confirm) {
    out.events.push_back("confirm " + name_of(item));
    confirm = item->StoredName() != s.declined;
  };
  unzipper.OnConfirmOverwrite = [&](std::string& name, bool& confirm) {
    const std::string relative = name.substr(dest.size() + 1);
    out.events.push_back("overwrite " + relative);
    confirm = s.overwrite.count(relative) > 0;
  };
  unzipper.OnProcessItemFailure = [&](void*, ArchiveItem* item, ProcessType, ErrorClass c,
                                      int32_t code) {
    out.events.push_back("failure " + name_of(item) + " " + std::to_string(c) + " " +
                         std::to_string(code));
  };
  unzipper.OnItemWarning = [&](void*, ArchiveItem* item, const std::string& text) {
    out.events.push_back("warning " + name_of(item) + " " + text);
  };
  unzipper.OnNeedPassword = [&](void*, std::string&) { out.events.push_back("password"); };
  try {
    unzipper.ExtractFiles("*");
  } catch (const UserAbortError&) {
    out.aborted = true;
  }
  for (const auto& entry : fs::recursive_directory_iterator(dest)) {
    const auto status = entry.symlink_status();
    std::string line = std::to_string(static_cast<int>(status.type())) + " " +
                       std::to_string(static_cast<int>(status.permissions())) + " ";
    if (status.type() == fs::file_type::regular) {
      const auto bytes = testing::ReadFile(entry.path().string());
      const auto since_1970 = std::chrono::file_clock::to_sys(entry.last_write_time());
      line += std::to_string(
                  std::chrono::floor<std::chrono::seconds>(since_1970).time_since_epoch().count()) +
              " " + std::string(bytes.begin(), bytes.end());
    }
    out.tree[entry.path().generic_string().substr(dest.size())] = line;
  }
  return out;
}

TEST(ParallelExtractionTest, FilesAndEventsEqualThoseOfOneThread) {
  testing::ScratchDir dir;
  const std::string archive = dir / "mixed.zip";
  testing::WriteFile(archive, MixedArchive());

  const Outcome plain = ExtractWith(archive, {"plain", {}, {}, "", 0, 0}, 1);
  int progress_events = 0;
  int library_event = 0;  // a library's method ends the run on an abort
  for (const auto& e : plain.events) {
    progress_events += e.rfind("item ", 0) == 0;
    if (e == "item e/lib.bin 100") library_event = progress_events;
  }
  ASSERT_GT(progress_events, 20);
  // The archive's faults are met as such: the damaged item, the name outside, the local name.
  ASSERT_EQ(plain.tree.count("/d/big.txt"), 1u);
  ASSERT_EQ(plain.tree.count("/sec.txt"), 1u);
  ASSERT_EQ(plain.tree.count("/bad.txt"), 0u);

  // An abort answered to an item's progress fails that item (or, for a library's method, ends
  // the run); one answered to the archive's progress ends the run.
  const std::vector<Scenario> scenarios = {
      {"plain", {}, {}, "", 0, 0},
      {"overwrite",
       {"d/stored.txt", "u/f3", "bad.txt", "d/big.txt"},
       {"d/stored.txt", "bad.txt"},
       "",
       0,
       0},
      {"declined", {}, {}, "u/f5", 0, 0},
      {"abort first", {}, {}, "", 1, 0},
      {"abort in big", {}, {}, "", progress_events / 4, 0},
      {"abort library", {}, {}, "", library_event, 0},
      {"abort later", {}, {}, "", progress_events * 2 / 3, 0},
      {"abort last", {}, {}, "", progress_events, 0},
      {"abort run early", {}, {}, "", 0, 3},
      {"abort run later", {}, {}, "", 0, 15},
  };
  for (const Scenario& s : scenarios) {
    const Outcome serial = ExtractWith(archive, s, 1);
    EXPECT_EQ(serial.aborted, s.abort_at == library_event || s.archive_abort_at > 0) << s.name;
    if (s.abort_at > 0) {
      EXPECT_NE(serial.events, plain.events) << s.name;
    }
    for (const int threads : {2, 4}) {
      for (const int64_t minimum : {int64_t{0}, int64_t{1} << 30}) {
        const Outcome parallel = ExtractWith(archive, s, threads, minimum);
        const std::string label = std::string(s.name) + ", " + std::to_string(threads) +
                                  " threads, " + (minimum == 0 ? "work files" : "in memory");
        EXPECT_EQ(parallel.aborted, serial.aborted) << label;
        EXPECT_EQ(parallel.events, serial.events) << label;
        EXPECT_EQ(parallel.tree, serial.tree) << label;
      }
    }
  }
}

}  // namespace
}  // namespace vz
