// The power goes at any moment of a default write-back: a process that
// reads playlist keys in mode 2 (so writes back the missing, the empty and
// the unchanged ones) is killed 1,000 times at random moments. After each
// kill the playlist reads as a whole file and holds every key it held
// before; the keys the process had finished writing are there too.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "child_process.h"
#include "config/ansi.h"
#include "config/settings.h"
#include "platform/posix/ini_profile.h"
#include "program_fixture.h"

namespace velane {
namespace {

namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::ReadBytes;
using testing_support::ReportPipe;
using testing_support::TempFolder;
using testing_support::WriteBytes;

constexpr int kSections = 300;
constexpr int kKills = 1000;

// The playlist as an operator left it: every slide's keys, transitions
// still empty, some lines ended by LF alone.
std::string HandWrittenPlaylist() {
  std::string text = "[Systeme]\r\nTailleEcranL=768\r\nTailleEcranW=576\r\nmarge=2\r\n";
  for (int s = 0; s < kSections; ++s) {
    const std::string eol = s % 5 == 0 ? "\n" : "\r\n";
    text += "[section " + std::to_string(s) + "]" + eol;
    text += "delais secondes=5" + eol;
    text += "section suivante=" + std::to_string((s + 1) % kSections) + eol;
    text += "Type=image" + eol + "image=photo.jpg" + eol + "Transition=" + eol;
  }
  return text;
}

// What the writer asks for at step i, in mode 2.
struct Read {
  std::string section;
  std::string key;
  std::string defaultValue;
};

// In turn: a key that is missing (written), an empty one (written with its
// default) and one that equals its default (written again, unchanged).
Read ReadAt(std::int32_t i) {
  const std::string section = "section " + std::to_string((i / 3) % kSections);
  switch (i % 3) {
    case 0:
      return {section, "ajout " + std::to_string(i), std::to_string(i)};
    case 1:
      return {section, "Transition", "1"};
    default:
      return {section, "delais secondes", "5"};
  }
}

[[noreturn]] void WriteBack(const std::string& playlist, std::int32_t first,
                            const ReportPipe& reports) {
  IniProfile ini;
  SettingsStore store(ini, nullptr, FromAnsi(playlist));
  for (std::int32_t i = first;; ++i) {
    const Read r = ReadAt(i);
    store.ReadSetting(FromAnsi(r.section), FromAnsi(r.key), FromAnsi(r.defaultValue), u"", 2);
    if (!reports.Report(i)) ::_exit(4);
  }
}

std::string_view Trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// A playlist as read from the disk, with its settings by section and key
// (names as written: the writers keep the file's spelling).
struct Playlist {
  std::shared_ptr<const std::string> text;
  std::map<std::pair<std::string_view, std::string_view>, std::string_view> keys;
};

// Parses the playlist the plain way, independent of the INI engine: every
// line must be ended and be a header, a key line or blank, and no key may
// appear twice in a section.
::testing::AssertionResult Parse(std::string bytes, Playlist& playlist) {
  playlist.text = std::make_shared<const std::string>(std::move(bytes));
  playlist.keys.clear();
  const std::string_view text = *playlist.text;
  if (!text.empty() && text.back() != '\n')
    return ::testing::AssertionFailure() << "the last line is cut";
  std::string_view section;
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t lf = text.find('\n', begin);
    std::string_view line = text.substr(begin, lf - begin);
    begin = lf + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (Trim(line).empty()) continue;
    if (line.front() == '[' && line.back() == ']') {
      section = Trim(line.substr(1, line.size() - 2));
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
      return ::testing::AssertionFailure() << "foreign line: " << line;
    const auto [it, added] = playlist.keys.emplace(std::pair{section, Trim(line.substr(0, eq))},
                                                   Trim(line.substr(eq + 1)));
    if (!added) return ::testing::AssertionFailure() << "key twice: " << line;
  }
  return ::testing::AssertionSuccess();
}

// Every key held before is still there, with its value, or with the
// default the write-back puts in place of an empty one.
::testing::AssertionResult HoldsEveryKey(const Playlist& before, const Playlist& after) {
  int lost = 0;
  std::string first;
  for (const auto& [name, value] : before.keys) {
    const auto found = after.keys.find(name);
    const bool kept = found != after.keys.end() &&
                      (found->second == value ||
                       (value.empty() && name.second == "Transition" && found->second == "1"));
    if (!kept && lost++ == 0) first = std::string(name.first) + "/" + std::string(name.second);
  }
  if (lost == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << lost << " keys lost, first " << first;
}

// The longest of a few write-backs of a missing key, in microseconds.
long WriteBackDuration(const fs::path& folder) {
  const fs::path file = folder / "probe.ini";
  WriteBytes(file, HandWrittenPlaylist());
  IniProfile ini;
  SettingsStore store(ini, nullptr, FromAnsi(file.string()));
  long longest = 0;
  for (int i = 0; i < 5; ++i) {
    const auto start = std::chrono::steady_clock::now();
    store.ReadSetting(u"section 7", FromAnsi("probe " + std::to_string(i)), u"x", u"", 2);
    longest = std::max<long>(longest, std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
  }
  fs::remove(file);
  return longest;
}

TEST(PowerCut, KilledWriteBacksLoseNoKey) {
  TempFolder folder;
  const fs::path playlist = folder.path() / "VELANE_Afficheur.ini";
  WriteBytes(playlist, HandWrittenPlaylist());

  // Kills must fall before, inside and after writes: the delays span a few
  // write-backs, whose time the disk's flush decides.
  const long writeUs = WriteBackDuration(folder.path());
  const int maxDelayUs = static_cast<int>(std::clamp<long>(writeUs * 6, 2000, 50000));
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed) + ", delays up to " + std::to_string(maxDelayUs) +
               " us");
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> delayUs(0, maxDelayUs);

  ReportPipe reports;
  ASSERT_TRUE(reports.ok());
  IniProfile reader;
  const std::string file = playlist.string();
  std::int32_t done = -1;  // the last read-and-write-back that returned
  int lost = 0;
  int killedInFirst = 0;  // before the run's first write-back returned
  int killedLater = 0;
  long delaySumUs = 0;
  Playlist before;
  ASSERT_TRUE(Parse(ReadBytes(playlist), before));

  for (int kill = 0; kill < kKills; ++kill) {
    ChildProcess writer = ChildProcess::Start([&] {
      reports.CloseReadEnd();
      WriteBack(file, done + 1, reports);
    });
    ASSERT_TRUE(writer.started());
    // Meanwhile a reader finds the file whole at every look.
    const int delay = delayUs(random);
    delaySumUs += delay;
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(delay);
    do {
      std::string value;
      reader.GetPrivateProfileStringA("section 299", "image", "", value, 590, file.c_str());
      ASSERT_EQ(value, "photo.jpg") << "kill " << kill;
      std::this_thread::sleep_for(std::chrono::microseconds(150));
    } while (std::chrono::steady_clock::now() < until);
    const int status = writer.KillAndWait();
    ASSERT_TRUE(WIFSIGNALED(status))
        << "the writer stopped on its own, status " << WEXITSTATUS(status);

    const std::vector<std::int32_t> finished = reports.Take();
    for (std::int32_t i : finished) {
      ASSERT_EQ(i, done + 1);
      done = i;
    }
    (finished.empty() ? killedInFirst : killedLater) += 1;
    Playlist after;
    ASSERT_TRUE(Parse(ReadBytes(playlist), after)) << "after kill " << kill;
    const auto held = HoldsEveryKey(before, after);
    if (!held) {
      ++lost;
      ADD_FAILURE() << "after kill " << kill << ": " << held.message();
    }
    // The write-backs that had returned are on the disk.
    for (std::int32_t i = std::max(0, done - 2); i <= done; ++i) {
      const Read r = ReadAt(i);
      const auto found = after.keys.find({r.section, r.key});
      ASSERT_NE(found, after.keys.end()) << "write-back " << i << " lost, kill " << kill;
      ASSERT_EQ(found->second, r.defaultValue) << "write-back " << i;
    }
    before = std::move(after);
  }
  EXPECT_EQ(lost, 0);
  // The kills fell both inside a run's first write-back and after some
  // had finished.
  EXPECT_GE(killedInFirst, kKills / 20);
  EXPECT_GE(killedLater, kKills / 20);
  RecordProperty("write_backs", done + 1);
  RecordProperty("kills_in_first_write_back", killedInFirst);
  // A kill between the creation of the temporary file and its rename
  // leaves it behind (hidden, beside the playlist); counted for the record.
  int leftovers = 0;
  for (const auto& entry : fs::directory_iterator(folder.path()))
    leftovers += entry.path().extension() == ".tmp";
  RecordProperty("temporary_files_left", leftovers);
  RecordProperty("max_delay_us", maxDelayUs);
  RecordProperty("delays_ms", static_cast<int>(delaySumUs / 1000));
}

}  // namespace
}  // namespace velane
