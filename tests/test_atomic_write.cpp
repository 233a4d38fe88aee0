// A writer killed at random moments never leaves a damaged settings file:
// after every kill the file is whole and holds every key the writer had
// reported as written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "child_process.h"
#include "config/settings.h"
#include "platform/files.h"
#include "platform/posix/ini_profile.h"
#include "test_files.h"

namespace velane {
namespace {

namespace fs = std::filesystem;

using testing_support::ReadBytes;

std::string SectionOf(std::int32_t i) { return "s" + std::to_string(i % 7); }
std::string KeyOf(std::int32_t i) { return "k" + std::to_string(i); }
std::string ValueOf(std::int32_t i) { return "v" + std::to_string(i); }

// Hand-written lines the writes must carry along unchanged (LF ends, as an
// editor may leave them): they also make each write long enough to be hit.
std::string Filler() {
  std::string text = "; playlist under test\n";
  for (int s = 0; s < 300; ++s) {
    text += "[filler " + std::to_string(s) + "]\n";
    text += "Type=image\n  image = photo" + std::to_string(s) + ".jpg\n\n";
  }
  return text;
}

// The writer: keys from `first` on, each reported through the pipe once
// its write has returned.
[[noreturn]] void Writer(const std::string& file, std::int32_t first,
                         const testing_support::ReportPipe& reports) {
  IniProfile ini;
  for (std::int32_t i = first;; ++i) {
    if (!ini.WritePrivateProfileStringA(SectionOf(i).c_str(), KeyOf(i).c_str(), ValueOf(i).c_str(),
                                        file.c_str()))
      ::_exit(3);
    if (!reports.Report(i)) ::_exit(4);
  }
}

// Checks that the text is whole: the filler first, then only our headers
// and key lines, every line ended. Fills `keys` with what it holds.
::testing::AssertionResult Whole(const std::string& text, const std::string& filler,
                                 std::map<std::string, std::string>& keys) {
  if (text.compare(0, filler.size(), filler) != 0)
    return ::testing::AssertionFailure() << "hand-written lines changed";
  const std::string rest = text.substr(filler.size());
  if (!rest.empty() && !rest.ends_with("\r\n"))
    return ::testing::AssertionFailure() << "last line cut: " << rest;
  std::istringstream lines(rest);
  std::string line, section;
  while (std::getline(lines, line)) {
    if (!line.ends_with('\r'))
      return ::testing::AssertionFailure() << "line without CR LF: " << line;
    line.pop_back();
    if (line.starts_with("[s") && line.ends_with("]")) {
      section = line.substr(1, line.size() - 2);
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos || section.empty() || line[0] != 'k')
      return ::testing::AssertionFailure() << "foreign line: " << line;
    keys[section + "/" + line.substr(0, eq)] = line.substr(eq + 1);
  }
  return ::testing::AssertionSuccess();
}

// The longest of a few writes on the disk under test, in microseconds.
long WriteDuration(const std::string& file, const std::string& filler) {
  std::ofstream(file, std::ios::binary) << filler;
  IniProfile ini;
  long longest = 0;
  for (int i = 0; i < 5; ++i) {
    const auto start = std::chrono::steady_clock::now();
    ini.WritePrivateProfileStringA(SectionOf(i).c_str(), KeyOf(i).c_str(), ValueOf(i).c_str(),
                                   file.c_str());
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    longest = std::max<long>(longest, us.count());
  }
  std::remove(file.c_str());
  return longest;
}

TEST(AtomicWrite, KilledWriterLeavesAWholeFileWithEveryReportedKey) {
  testing_support::TempFolder dir{"velane-atomic"};
  const std::string file = dir.File("VELANE_Afficheur.ini");
  const std::string filler = Filler();
  std::ofstream(file, std::ios::binary) << filler;

  testing_support::ReportPipe reports;
  ASSERT_TRUE(reports.ok());

  // Kills must land before, inside and after writes: the delays span a few
  // writes' time, which the disk's flush decides (3 ms at least).
  const auto writeUs = WriteDuration(dir.File("probe.ini"), filler);
  const int maxDelayUs = static_cast<int>(std::clamp<long>(writeUs * 5 / 2, 3000, 30000));
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed) + ", delays up to " + std::to_string(maxDelayUs) +
               " us");
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> delayUs(0, maxDelayUs);

  IniProfile reader;
  std::int32_t reported = -1;  // highest key reported written
  for (int kill = 0; kill < 200; ++kill) {
    auto writer = testing_support::ChildProcess::Start([&] {
      reports.CloseReadEnd();
      Writer(file, reported + 1, reports);
    });
    ASSERT_TRUE(writer.started());
    // While the writer runs, a reader never sees a partial file.
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::microseconds(delayUs(random));
    while (std::chrono::steady_clock::now() < until) {
      const std::string seen = ReadBytes(file);
      ASSERT_TRUE(seen.compare(0, filler.size(), filler) == 0 &&
                  (seen.size() == filler.size() || seen.ends_with("\r\n")));
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const int status = writer.KillAndWait();
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer failed, exit status " << WEXITSTATUS(status);

    for (std::int32_t i : reports.Take()) {
      ASSERT_EQ(i, reported + 1);
      reported = i;
    }

    std::map<std::string, std::string> keys;
    const std::string text = ReadBytes(file);
    ASSERT_TRUE(Whole(text, filler, keys)) << "after kill " << kill;
    for (std::int32_t k = 0; k <= reported; ++k) {
      const auto found = keys.find(SectionOf(k) + "/" + KeyOf(k));
      ASSERT_NE(found, keys.end()) << "lost key " << k << " after kill " << kill;
      ASSERT_EQ(found->second, ValueOf(k));
    }
    if (reported >= 0) {
      std::string value;
      reader.GetPrivateProfileStringA(SectionOf(reported).c_str(), KeyOf(reported).c_str(), "",
                                      value, 590, file.c_str());
      ASSERT_EQ(value, ValueOf(reported));
    }
  }
  // The writer did get work done between kills.
  EXPECT_GT(reported, 0);
}

// Another screen's web engine, or a sync tool, reading the composed page
// while a player rewrites it meets the older page or the newer one whole:
// never an empty or a cut page.
TEST(AtomicWrite, ReaderConcurrentWithComposedPageWriteSeesWholePages) {
  testing_support::TempFolder dir{"velane-atomic"};
  const std::string page = dir.File("temporaire.html");
  // Large enough that a write in place would be caught half done.
  const std::string older(256 << 10, 'o');
  const std::string newer = std::string(128 << 10, 'n') + "\r\n";
  ASSERT_EQ(platform::ReplaceFileWhole(page, older), platform::FileWrite::kWritten);

  auto writer = testing_support::ChildProcess::Start([&] {
    for (int i = 0;; ++i) {
      if (platform::ReplaceFileWhole(page, i % 2 ? older : newer) != platform::FileWrite::kWritten)
        ::_exit(3);
    }
  });
  ASSERT_TRUE(writer.started());
  int seenOlder = 0, seenNewer = 0;
  for (int read = 0; read < 3000; ++read) {
    const std::string seen = ReadBytes(page);
    if (seen == older) {
      ++seenOlder;
    } else if (seen == newer) {
      ++seenNewer;
    } else {
      ADD_FAILURE() << "read " << read << " met a page of " << seen.size() << " bytes";
      break;
    }
  }
  const int status = writer.KillAndWait();
  EXPECT_TRUE(WIFSIGNALED(status)) << "writer failed, exit status " << WEXITSTATUS(status);
  // The writer did replace the page while it was read.
  EXPECT_GT(seenOlder, 0);
  EXPECT_GT(seenNewer, 0);
  // No temporary file is left behind in the slide folder.
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    if (entry.path().filename() != "temporaire.html")
      left.push_back(entry.path().filename().string());
  EXPECT_LE(left.size(), 1u);  // at most the one the kill cut short
}

// A write-back that cannot take the playlist's lock in time (another screen
// holds it, over a network share) is given up: the read still answers with
// the default, nothing is written, and it is said once on stderr. The lock
// is a record lock, which a network file system passes on to its server.
TEST(AtomicWrite, WriteBackGivesUpOnAHeldRecordLockAndSaysSoOnce) {
  testing_support::TempFolder dir{"velane-atomic"};
  const std::string file = dir.File("VELANE_Afficheur.ini");
  const std::string text = "[section 1]\r\nType=image\r\n";
  std::ofstream(file, std::ios::binary) << text;
  IniProfile ini;
  SettingsStore store(ini, nullptr, u"");
  const std::u16string path(file.begin(), file.end());

  testing_support::ReportPipe locked;
  ASSERT_TRUE(locked.ok());
  auto holder = testing_support::ChildProcess::Start([&] {
    locked.CloseReadEnd();
    const int fd = ::open(file.c_str(), O_RDWR);
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (fd < 0 || ::fcntl(fd, F_SETLK, &whole) != 0) ::_exit(3);
    locked.Report(1);
    for (;;) ::pause();
  });
  ASSERT_TRUE(holder.started());
  std::vector<std::int32_t> reports;
  for (int wait = 0; wait < 2000 && reports.empty(); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    reports = locked.Take();
  }
  ASSERT_FALSE(reports.empty()) << "the lock holder did not start";

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(store.ReadSetting(u"section 1", u"Transition", u"", path, 2), u"");
  EXPECT_EQ(store.ReadSetting(u"section 1", u"delais secondes", u"5", path, 2), u"5");
  EXPECT_EQ(store.ReadSetting(u"section 1", u"Type", u"", path, 2), u"image");
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(ReadBytes(file), text);
  std::size_t times = 0;
  for (auto at = said.find("locked by another writer"); at != std::string::npos;
       at = said.find("locked by another writer", at + 1))
    ++times;
  EXPECT_EQ(times, 1u) << said;

  // The lock free again, the next read writes its default back.
  holder.KillAndWait();
  EXPECT_EQ(store.ReadSetting(u"section 1", u"Transition", u"", path, 2), u"");
  EXPECT_EQ(ReadBytes(file), text + "Transition=\r\n");
}

}  // namespace
}  // namespace velane
