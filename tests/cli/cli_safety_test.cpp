// vzip where users meet the engine's guards: nothing written outside the destination, nothing
// lost, no bomb, no hang, and nothing left behind by an interrupted run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "cli_test_support.h"
#include "codec/deflate_base.h"
#include "test_support.h"
#include "zip_builder.h"
#include "zlib_helpers.h"

namespace vz {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::ScratchDir;
using testing::WriteFile;

const std::string kVzip = VZIP_PATH;

// Every signal whose default action ends a program and that a program can catch.
constexpr int kTerminatingSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,   SIGPIPE, SIGXFSZ,
                                       SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF};

testing::RunResult RunIn(const fs::path& folder, const std::string& command) {
  return testing::Shell("cd " + testing::Quote(folder.string()) + " && " + command + " </dev/null");
}

int VmsFilesBelow(const fs::path& folder) {
  int count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    count += entry.path().filename().string().rfind("VMS", 0) == 0 ? 1 : 0;
  }
  return count;
}

// A deflated item of mebibytes MiB of zeros.
testing::ZipEntry Zeros(const std::string& name, int mebibytes) {
  testing::ZipEntry e;
  e.name = name;
  e.method = 8;
  e.data = testing::ZerosDeflated(mebibytes);
  e.uncompressed_size = int64_t{mebibytes} << 20;
  const std::vector<uint8_t> zeros(1 << 20, 0);
  uint32_t crc = 0xFFFFFFFFu;
  for (int i = 0; i < mebibytes; ++i) {
    UpdateCrc32(crc, zeros.data(), static_cast<int64_t>(zeros.size()));
  }
  e.crc = ~crc;
  return e;
}

testing::ZipEntry Stored(const std::string& name, const std::string& text) {
  testing::ZipEntry e;
  e.name = name;
  e.data = testing::Bytes(text);
  return e;
}

void WriteZip(const fs::path& path, std::vector<testing::ZipEntry> entries) {
  testing::ZipBuilder b;
  b.entries = std::move(entries);
  WriteFile(path.string(), b.Build());
}

struct Case {
  const char* label;
  std::function<void(const fs::path&)> arrange;  // in the scratch folder
  const char* command;                           // run there; "vzip" is the program
  int status;
  const char* message;  // in the output; null: none expected
  std::function<void(const fs::path&)> check;
};

// Runs each case in a fresh folder that has an "outside" folder holding a precious file, which
// must come out unchanged every time, and where no work file may be left.
template <size_t N>
void RunCases(const Case (&cases)[N]) {
  for (const Case& c : cases) {
    ScratchDir dir;
    const fs::path d = dir.path();
    fs::create_directory(d / "outside");
    WriteFile((d / "outside/file").string(), "precious");
    if (c.arrange) c.arrange(d);
    std::string command = c.command;
    for (size_t at = 0; (at = command.find("vzip ", at)) != std::string::npos;) {
      command.replace(at, 4, kVzip);
      at += kVzip.size();
    }
    const auto result = RunIn(d, command);
    EXPECT_EQ(result.status, c.status) << c.label << "\n" << result.output;
    if (c.message != nullptr) {
      EXPECT_NE(result.output.find(c.message), std::string::npos) << c.label << "\n"
                                                                  << result.output;
    }
    if (c.check) c.check(d);
    EXPECT_EQ(std::distance(fs::directory_iterator(d / "outside"), {}), 1) << c.label;
    EXPECT_EQ(ReadFile((d / "outside/file").string()), testing::Bytes("precious")) << c.label;
    EXPECT_EQ(VmsFilesBelow(d), 0) << c.label;
  }
}

// One table of what users reported: each case runs vzip once in a fresh folder that has an
// "outside" folder holding a precious file, which must come out unchanged every time.
TEST(CliSafetyTest, WhatUsersMet) {
  const Case cases[] = {
      {"extracting over a file through a link in the destination",
       [](const fs::path& d) {
         WriteZip(d / "d.zip", {Stored("d/file", "new")});
         fs::create_directory(d / "dest");
         fs::create_directory_symlink(d / "outside", d / "dest/d");
       },
       "vzip extract d.zip -d dest -o", 1,
       "d/file: Unsafe file name - outside the destination folder", nullptr},
      {"extracting new files through a link in the destination",
       [](const fs::path& d) {
         WriteZip(d / "d.zip", {Stored("d/new", "new"), Stored("d/sub/new", "new")});
         fs::create_directory(d / "dest");
         fs::create_directory_symlink(d / "outside", d / "dest/d");
       },
       "vzip extract d.zip -d dest", 1, "Unsafe file name", nullptr},
      {"300 entries at one local header of a 10 MB item",
       [](const fs::path& d) {
         // Every central entry points at the first local header (the builder still writes one
         // header and copy of the data per entry; they are never read).
         std::vector<testing::ZipEntry> entries(300, Zeros("z", 10));
         for (int i = 0; i < 300; ++i) {
           entries[i].name = "z" + std::to_string(i);
           entries[i].local_offset_override = 0;
         }
         WriteZip(d / "bomb.zip", entries);
       },
       "vzip extract bomb.zip -d dest", 1, "z299: Invalid file - not a PKZip file",
       [](const fs::path& d) {
         EXPECT_EQ(std::distance(fs::directory_iterator(d / "dest"), {}), 1);
         EXPECT_EQ(fs::file_size(d / "dest/z0"), 10u << 20);
       }},
      {"two files of one name from two folders",
       [](const fs::path& d) {
         fs::create_directories(d / "a");
         fs::create_directories(d / "b");
         WriteFile((d / "a/readme").string(), "A");
         WriteFile((d / "b/readme").string(), "B");
       },
       "vzip add c.zip a b -r -j", 1, "readme: Cannot insert file - duplicates stored name",
       [](const fs::path& d) {
         ASSERT_EQ(RunIn(d, kVzip + " extract c.zip -d x").status, 0);
         EXPECT_EQ(ReadFile((d / "x/readme").string()), testing::Bytes("A"));
       }},
      {"the archive among its own inputs, by name and through a linked folder",
       [](const fs::path& d) {
         WriteFile((d / "h.txt").string(), "h");
         fs::create_directory_symlink(".", d / "loopdir");
       },
       "vzip add b.zip h.txt && vzip add b.zip b.zip h.txt && "
       "{ vzip add b.zip loopdir -r; vzip list b.zip; }",
       0, "loopdir/loopdir: is a linked folder, not followed",
       [](const fs::path& d) {
         const auto listing = RunIn(d, kVzip + " list b.zip").output;
         EXPECT_EQ(listing.find("b.zip\n"), std::string::npos) << listing;
       }},
      {"a file that does not exist leaves no archive", nullptr, "vzip add m.zip nosuch", 1,
       "nosuch: File not found", [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "m.zip")); }},
      {"a full disk leaves no archive",
       [](const fs::path& d) { WriteFile((d / "big.bin").string(), testing::RandomBytes(200000)); },
       "sh -c \"trap '' XFSZ; ulimit -f 40; exec vzip add m.zip big.bin -m store\"", 1,
       "Invalid Stream", [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "m.zip")); }},
      {"a pipe in the archive's place",
       [](const fs::path& d) {
         ASSERT_EQ(::mkfifo((d / "ff.zip").c_str(), 0600), 0);
         WriteFile((d / "h.txt").string(), "h");
       },
       "timeout 20 vzip add ff.zip h.txt", 2, "ff.zip: is a FIFO, not a zip archive",
       [](const fs::path& d) {
         EXPECT_EQ(RunIn(d, "timeout 20 " + kVzip + " extract ff.zip").status, 2);
       }},
      {"an archive reached through a link",
       [](const fs::path& d) {
         fs::create_directory(d / "store");
         WriteFile((d / "h.txt").string(), "h");
         WriteFile((d / "i.txt").string(), "i");
         ASSERT_EQ(RunIn(d, kVzip + " add store/real.zip h.txt").status, 0);
         fs::create_symlink("store/real.zip", d / "link.zip");
       },
       "vzip add link.zip i.txt", 0, nullptr,
       [](const fs::path& d) {
         EXPECT_TRUE(fs::is_symlink(d / "link.zip"));
         const auto listing = RunIn(d, kVzip + " list store/real.zip").output;
         EXPECT_NE(listing.find("2 items"), std::string::npos) << listing;
       }},
  };
  RunCases(cases);
}

// What the third probe found: names as Linux sees them, archives their owners protected.
TEST(CliSafetyTest, WhatTheThirdProbeFound) {
  auto two_cases = [](const fs::path& d) {
    WriteFile((d / "a.txt").string(), "lower");
    WriteFile((d / "A.txt").string(), "UPPER");
  };
  auto both_kept = [](const char* archive) {
    return [archive](const fs::path& d) {
      ASSERT_EQ(RunIn(d, kVzip + " extract " + archive + " -d x").status, 0);
      EXPECT_EQ(ReadFile((d / "x/a.txt").string()), testing::Bytes("lower"));
      EXPECT_EQ(ReadFile((d / "x/A.txt").string()), testing::Bytes("UPPER"));
    };
  };
  const bool root = ::geteuid() == 0;
  const Case cases[] = {
      {"a name differing only in letter case is another file", two_cases,
       "vzip add f.zip a.txt && vzip add f.zip A.txt", 0, nullptr, both_kept("f.zip")},
      {"both spellings in one add", two_cases, "vzip add both.zip a.txt A.txt", 0, nullptr,
       both_kept("both.zip")},
      {"delete takes the spelling given",
       [&](const fs::path& d) {
         two_cases(d);
         ASSERT_EQ(RunIn(d, kVzip + " add pair.zip a.txt A.txt").status, 0);
       },
       "vzip delete pair.zip a.txt && vzip list pair.zip", 0, "Deleted 1 item from pair.zip",
       [](const fs::path& d) {
         EXPECT_EQ(RunIn(d, kVzip + " list pair.zip").output.find(" a.txt"), std::string::npos);
         EXPECT_EQ(RunIn(d, kVzip + " extract pair.zip 'a*' -d y").status, 1);  // no match
         EXPECT_EQ(RunIn(d, kVzip + " extract pair.zip '*' -x 'a*' -d z").status, 0);
         EXPECT_EQ(ReadFile((d / "z/A.txt").string()), testing::Bytes("UPPER"));
       }},
      {"a write-protected archive is not replaced",
       [](const fs::path& d) {
         WriteFile((d / "h.txt").string(), "h");
         ASSERT_EQ(RunIn(d, kVzip + " add ro.zip h.txt").status, 0);
         fs::permissions(d / "ro.zip", fs::perms(0444));
       },
       "vzip add ro.zip outside/file; vzip delete ro.zip h.txt", 2, "ro.zip: is write-protected",
       [](const fs::path& d) {
         EXPECT_EQ(fs::status(d / "ro.zip").permissions(), fs::perms(0444));
         EXPECT_NE(RunIn(d, kVzip + " list ro.zip").output.find("1 item"), std::string::npos);
       }},
      {"another user's archive in a shared folder",
       [&](const fs::path& d) {
         WriteFile((d / "h.txt").string(), "h");
         ASSERT_EQ(RunIn(d, kVzip + " add theirs.zip h.txt").status, 0);
         fs::permissions(d, fs::perms(01777));
         fs::permissions(d / "h.txt", fs::perms(0644));
       },
       root ? "setpriv --reuid=65534 --regid=65534 --clear-groups vzip add theirs.zip h.txt"
            : "true",
       root ? 2 : 0, root ? "theirs.zip: is write-protected" : nullptr,
       [](const fs::path& d) {
         EXPECT_EQ(fs::status(d / "theirs.zip").permissions(), fs::perms(0644));
       }},
      {"one file under two spellings",
       [](const fs::path& d) {
         fs::create_directories(d / "a/b");
         WriteFile((d / "a/b/f.txt").string(), "f");
       },
       "vzip add n.zip a/b/../b/f.txt 'a//b/./f.txt'", 1,
       "a/b/f.txt: Cannot insert file - duplicates stored name",
       [](const fs::path& d) {
         const auto listing = RunIn(d, kVzip + " list n.zip").output;
         EXPECT_NE(listing.find(" a/b/f.txt\n"), std::string::npos) << listing;
         EXPECT_NE(listing.find("1 item"), std::string::npos) << listing;
       }},
      {"a name whose \"..\" climbs above where it starts",
       [](const fs::path& d) {
         fs::create_directories(d / "a");
         WriteFile((d / "f.txt").string(), "f");
       },
       "vzip add c.zip \"a/../../$(basename \"$PWD\")/f.txt\"", 1,
       "Unsafe file name - its \"..\" leads above the folder the name starts in",
       [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "c.zip")); }},
      {"names and comments that would change how the text reads",
       [](const fs::path& d) {
         testing::ZipBuilder b;
         b.entries = {Stored("invoice\xe2\x80\xaegpj.exe", "x")};
         b.entries[0].flag = 0x800;  // a UTF-8 name
         b.comment = "done\rfake";
         WriteFile((d / "e\x1b[2Jx.zip").string(), b.Build());
       },
       "vzip list e*.zip; vzip test e*.zip; vzip extract e*.zip nosuch", 1, "e^[[2Jx.zip",
       [](const fs::path& d) {
         const auto shown = RunIn(d, kVzip + " list e*.zip; " + kVzip + " test e*.zip").output;
         EXPECT_NE(shown.find("invoice<U+202E>gpj.exe"), std::string::npos) << shown;
         EXPECT_NE(shown.find("done^Mfake"), std::string::npos) << shown;
         EXPECT_EQ(shown.find_first_of("\x1b\r"), std::string::npos) << shown;
       }},
      {"a full disk during a save, on one thread and on two, stored and deflated",
       [](const fs::path& d) { WriteFile((d / "big.bin").string(), testing::RandomBytes(600000)); },
       "{ for j in 1 2; do for m in deflate store; do sh -c \"trap '' XFSZ; ulimit -f 200; exec "
       "vzip -j $j add m.zip big.bin -m $m\"; done; done 2>&1 | sort | uniq -c; }",
       0, "4 vzip: m.zip: Invalid Stream: Cannot write the new archive",
       [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "m.zip")); }},
      {"an item whose offset leads nowhere",
       [](const fs::path& d) {
         testing::ZipEntry e = Stored("a.txt", "a");
         e.local_offset_override = 5;
         WriteZip(d / "o.zip", {e});
       },
       "vzip test o.zip", 1,
       "a.txt: Invalid file - not a PKZip file: the directory places the item's local header at "
       "offset 5, where there is none",
       nullptr},
      {"a missing part of a set, and a folder in its place",
       [](const fs::path& d) {
         WriteFile((d / "r.bin").string(), testing::RandomBytes(150000));
         ASSERT_EQ(RunIn(d, kVzip + " add s.zip r.bin -m store -s 64k").status, 0);
         fs::remove(d / "s.z02");
         fs::create_directory(d / "s.z02");
       },
       "vzip test s.zip; rmdir s.z02; vzip test s.zip", 1,
       "r.bin: File not found: the set's part \"s.z02\"",
       [](const fs::path& d) {
         const auto folder = RunIn(d, "mkdir s.z02; " + kVzip + " test s.zip").output;
         EXPECT_NE(folder.find("r.bin: the set's part \"s.z02\", is a folder, not a file"),
                   std::string::npos)
             << folder;
       }},
      {"names 16,000 and 32,760 folders deep",
       [](const fs::path& d) {
         std::string deep;
         for (int i = 0; i < 32760; ++i) deep += "a/";
         WriteZip(d / "deep.zip",
                  {Stored(deep.substr(0, 32000) + "f", "x"), Stored(deep + "g", "y")});
       },
       "vzip extract deep.zip -d out", 1, "this system takes 4095 at most",
       [](const fs::path& d) {
         EXPECT_EQ(RunIn(d, kVzip + " extract deep.zip -d out").output.find("Too many open files"),
                   std::string::npos);
       }},
      {"a name 2,000 folders deep with 64 descriptors",
       [](const fs::path& d) {
         std::string deep;
         for (int i = 0; i < 2000; ++i) deep += "d/";
         WriteZip(d / "d2.zip", {Stored(deep + "f", "x")});
       },
       "sh -c 'ulimit -n 64; exec vzip extract d2.zip -d out'", 0, nullptr,
       [](const fs::path& d) {
         std::string path = (d / "out").string();
         for (int i = 0; i < 2000; ++i) path += "/d";
         EXPECT_EQ(RunIn(d, "cat " + path.substr(d.string().size() + 1) + "/f").output, "x");
       }},
      {"Unix names in KOI8-R keep their bytes, and -O KOI8-R reads them",
       [](const fs::path& d) {
         // "Привет" and "Пример" in KOI8-R, from a Unix host without the UTF-8 flag: not UTF-8.
         std::vector<testing::ZipEntry> entries = {Stored("\xf0\xd2\xc9\xd7\xc5\xd4", "1"),
                                                   Stored("\xf0\xd2\xc9\xcd\xc5\xd2", "2")};
         for (auto& e : entries) e.version_made = 0x0314;
         WriteZip(d / "k.zip", entries);
       },
       "vzip extract k.zip -d raw && vzip -O KOI8-R extract k.zip -d named && "
       "vzip -O NOSUCH list k.zip",
       2, "-O: unknown character set 'NOSUCH'",
       [](const fs::path& d) {
         EXPECT_EQ(ReadFile((d / "raw/\xf0\xd2\xc9\xd7\xc5\xd4").string()), testing::Bytes("1"));
         EXPECT_EQ(ReadFile((d / "raw/\xf0\xd2\xc9\xcd\xc5\xd2").string()), testing::Bytes("2"));
         EXPECT_EQ(
             ReadFile((d / "named/\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82").string()),
             testing::Bytes("1"));
         const auto listing = RunIn(d, kVzip + " list k.zip").output;  // shown escaped
         EXPECT_NE(listing.find("\\xF0\\xD2\\xC9\\xD7\\xC5\\xD4"), std::string::npos) << listing;
       }},
      {"headers that disagree on the method",
       [](const fs::path& d) {
         testing::ZipEntry e = Zeros("z.bin", 1);
         e.central_method = 0;
         WriteZip(d / "m.zip", {e});
       },
       "vzip test m.zip", 1,
       "z.bin: Invalid Local File Header entry: the local header gives method 8, the central "
       "directory method 0",
       [](const fs::path& d) {
         const auto extracted = RunIn(d, kVzip + " extract m.zip -d x");
         EXPECT_EQ(extracted.status, 1);
         EXPECT_NE(extracted.output.find("the local header gives method 8, the central directory "
                                         "method 0"),
                   std::string::npos)
             << extracted.output;
       }},
      {"a listing into a pipe closed early, SIGPIPE ignored",
       [](const fs::path& d) {
         std::vector<testing::ZipEntry> entries;
         for (int i = 0; i < 4000; ++i) entries.push_back(Stored("f" + std::to_string(i), "x"));
         WriteZip(d / "many.zip", entries);
       },
       "{ sh -c \"trap '' PIPE; vzip list many.zip; echo status \\$? >&2\" | head -1; }", 0,
       "status 141", nullptr},
      {"an end record whose directory size is off",
       [](const fs::path& d) {
         testing::ZipBuilder b;
         b.entries = {Stored("a.txt", "a")};
         b.directory_size_delta = 4096;
         WriteFile((d / "s.zip").string(), b.Build());
       },
       "vzip test s.zip", 1,
       "warning: damaged archive: the end record gives the central directory 4147 bytes, it has 51",
       nullptr},
  };
  RunCases(cases);
}

TEST(CliSafetyTest, ConcurrentUpdatesBothLand) {
  ScratchDir dir;
  const fs::path d = dir.path();
  for (const char* folder : {"A", "B"}) {
    fs::create_directory(d / folder);
    for (int i = 0; i < 200; ++i) {
      WriteFile((d / folder / (std::string(folder) + std::to_string(i))).string(), folder);
    }
  }
  WriteFile((d / "seed.txt").string(), "seed");
  // Twice over an archive that exists, then twice creating it: the second creator waits for the
  // first and adds to what it saved.
  for (int round = 0; round < 4; ++round) {
    fs::remove(d / "t.zip");
    if (round < 2) {
      ASSERT_EQ(RunIn(d, kVzip + " add t.zip seed.txt").status, 0);
    }
    const auto both = RunIn(d, "{ (" + kVzip + " add t.zip A -r; echo A $?) & (" + kVzip +
                                   " add t.zip B -r; echo B $?) & wait; }");
    EXPECT_NE(both.output.find("A 0"), std::string::npos) << both.output;
    EXPECT_NE(both.output.find("B 0"), std::string::npos) << both.output;
    const auto listing = RunIn(d, kVzip + " list t.zip").output;
    EXPECT_NE(listing.find(round < 2 ? "401 items" : "400 items"), std::string::npos)
        << round << "\n"
        << listing;
  }
}

// Starts vzip with args in folder, the terminating signals at their default actions.
pid_t Spawn(const fs::path& folder, const std::vector<std::string>& args) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int s : kTerminatingSignals) sigaddset(&defaults, s);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> argv{const_cast<char*>(kVzip.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  posix_spawn(&pid, kVzip.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return pid;
}

TEST(CliSafetyTest, ASignalDuringWorkLeavesNoWorkFile) {
  struct Job {
    const char* label;
    std::vector<std::string> args;
    const char* watched;  // the folder where the work file appears
  };
  const Job jobs[] = {
      {"extraction", {"extract", "big.zip", "-d", "dest", "-o"}, "dest"},
      {"a new archive", {"add", "new.zip", "big.bin", "-l", "maximum"}, "."},
      {"an update", {"add", "big.zip", "big.bin", "-l", "maximum"}, "."},
  };
  // SIGQUIT's core dump is kept out of the folder.
  const struct rlimit no_core = {0, 0};
  ASSERT_EQ(::setrlimit(RLIMIT_CORE, &no_core), 0);
  struct Case {
    std::string label;
    std::vector<std::string> args;
    const char* watched;
    int signal_number;
  };
  std::vector<Case> cases;
  for (const Job& job : jobs) {
    for (const char* threads : {"1", "2"}) {
      for (const int s : kTerminatingSignals) {
        std::vector<std::string> args = {"-j", threads};
        args.insert(args.end(), job.args.begin(), job.args.end());
        cases.push_back({std::string(job.label) + ", -j " + threads + ", " + ::strsignal(s), args,
                         job.watched, s});
      }
    }
  }
  ScratchDir dir;
  const fs::path d = dir.path();
  WriteZip(d / "big.zip", {Zeros("big.bin", 1024)});
  const auto archive = ReadFile((d / "big.zip").string());
  {
    std::ofstream(d / "big.bin").close();
    fs::resize_file(d / "big.bin", uint64_t{1} << 30);  // sparse: made at once
  }
  fs::create_directory(d / "dest");
  WriteFile((d / "dest/big.bin").string(), "old");
  for (const Case& c : cases) {
    const pid_t pid = Spawn(d, c.args);
    ASSERT_GT(pid, 0) << c.label;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool seen = false;
    while (!seen && std::chrono::steady_clock::now() < deadline) {
      for (const auto& entry : fs::directory_iterator(d / c.watched)) {
        seen = seen || entry.path().filename().string().rfind("VMS", 0) == 0;
      }
      if (!seen) std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    EXPECT_TRUE(seen) << c.label;
    ::kill(pid, c.signal_number);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal_number) << c.label;
    EXPECT_EQ(VmsFilesBelow(d), 0) << c.label;
    // What was there before stays as it was.
    EXPECT_EQ(ReadFile((d / "dest/big.bin").string()), testing::Bytes("old")) << c.label;
    EXPECT_EQ(ReadFile((d / "big.zip").string()), archive) << c.label;
    EXPECT_FALSE(fs::exists(d / "new.zip")) << c.label;
  }
}

}  // namespace
}  // namespace vz
