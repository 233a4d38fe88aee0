// What the playlist costs on every tick: ReadSetting in mode 2 on playlists
// of 10 to 10,000 sections, and one sequencer tick (advancing or not) on
// the largest one, over the real file system and a browser that only
// records where it was sent.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "config/ansi.h"
#include "config/settings.h"
#include "diagnostics/principal.h"
#include "display/afficheur.h"
#include "fakes/fake_platform.h"
#include "platform/posix/ini_profile.h"
#include "windows/program.h"

namespace velane {
namespace {

namespace fs = std::filesystem;

// A fresh folder under the temporary folder, removed at the end.
class ContentRoot {
 public:
  ContentRoot() {
    std::string pattern = (fs::temp_directory_path() / "velane-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
  }
  ~ContentRoot() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  ContentRoot(const ContentRoot&) = delete;
  ContentRoot& operator=(const ContentRoot&) = delete;
  const fs::path& path() const { return path_; }
  fs::path Playlist() const { return path_ / "VELANE_Afficheur.ini"; }

 private:
  fs::path path_;
};

void WriteFile(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

// Sections 0 to n, six keys each, chained 0 -> 1 -> ... -> n -> 1, as an
// operator's tool would write them (CR LF line ends). With an empty
// transition, as the player itself fills the key in, every advance finds
// the key empty and writes its default back (a write that changes nothing,
// but that reads the file again under a lock).
std::string PlaylistText(int sections, int dwell, bool emptyTransition = false) {
  std::string text = "[Systeme]\r\nTailleEcranL=768\r\nTailleEcranW=576\r\nmarge=2\r\n";
  for (int s = 0; s <= sections; ++s) {
    const std::string n = std::to_string(s);
    text += "[section " + n + "]\r\n";
    text += "delais secondes=" + std::to_string(dwell) + "\r\n";
    text += "section suivante=" + std::to_string(s < sections ? s + 1 : 1) + "\r\n";
    text += "Type=image\r\n";
    text += "image=photo" + n + ".jpg\r\n";
    text += "Transition=" + (emptyTransition ? std::string() : std::to_string(s % 4)) + "\r\n";
    text += "commentaire=slide " + n + " of the morning loop\r\n";
  }
  return text;
}

// An image template of about 4 KB: the placeholder twice, a content-type
// meta tag and a body tag with attributes, padded with style rules.
std::string ImageTemplate() {
  std::string text =
      "<html>\r\n<head>\r\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\r\n"
      "<title>%FICHIER%</title>\r\n<style>\r\n";
  for (int i = 0; text.size() < 3900; ++i)
    text += ".rule" + std::to_string(i) + " { margin: 0; padding: 0; color: #fff }\r\n";
  text +=
      "</style>\r\n</head>\r\n<body bgcolor=\"#000000\">\r\n"
      "<img src=\"%FICHIER%\" alt=\"\">\r\n</body>\r\n</html>\r\n";
  return text;
}

std::string TransitionsText() {
  std::string text;
  for (int t = 0; t < 4; ++t)
    text += "[" + std::to_string(t) +
            "]\r\nhtml=<meta http-equiv=\"Page-Enter\" "
            "content=\"blendTrans(Duration=" +
            std::to_string(t) + ")\">\r\n";
  return text;
}

std::u16string SectionName(int s) { return u"section " + FromAnsi(std::to_string(s)); }

// ReadSetting in mode 2 of a key that is present, in the last section of
// the file: the whole file is read and searched.
void BM_ReadSettingMode2(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  ContentRoot root;
  WriteFile(root.Playlist(), PlaylistText(sections, 10));
  IniProfile ini;
  SettingsStore settings(ini, nullptr, FromAnsi(root.Playlist().string()));
  const std::u16string section = SectionName(sections);
  for (auto _ : state) {
    std::u16string v = settings.ReadSetting(section, u"delais secondes", u"", u"", 2);
    benchmark::DoNotOptimize(v);
  }
  state.counters["file_bytes"] = static_cast<double>(fs::file_size(root.Playlist()));
  state.SetComplexityN(sections);
}
BENCHMARK(BM_ReadSettingMode2)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

// The same for a key at the top of the file: the search stops early, so
// only the reading of the file grows with it.
void BM_ReadSettingMode2FirstSection(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  ContentRoot root;
  WriteFile(root.Playlist(), PlaylistText(sections, 10));
  IniProfile ini;
  SettingsStore settings(ini, nullptr, FromAnsi(root.Playlist().string()));
  for (auto _ : state) {
    std::u16string v = settings.ReadSetting(u"section 1", u"delais secondes", u"", u"", 2);
    benchmark::DoNotOptimize(v);
  }
  state.SetComplexityN(sections);
}
BENCHMARK(BM_ReadSettingMode2FirstSection)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

// A whole program over the fakes on a content root of `sections` slides,
// every slide folder present.
class Player {
 public:
  explicit Player(int sections, bool emptyTransition = false) {
    WriteFile(root_.Playlist(), PlaylistText(sections, 10, emptyTransition));
    fs::create_directories(root_.path() / "modeles");
    WriteFile(root_.path() / "modeles" / "image.html", ImageTemplate());
    WriteFile(root_.path() / "modeles" / "transitions.ini", TransitionsText());
    char folder[16];
    for (int s = 0; s <= sections; ++s) {
      std::snprintf(folder, sizeof folder, "%05d", s);
      fs::create_directories(root_.path() / "flashs" / folder);
    }
    fakes_.process.executable = FromAnsi((root_.path() / "VELANE_Afficheur").string());
    settings_ = std::make_unique<SettingsStore>(ini_, nullptr, FromAnsi(root_.Playlist().string()));
    program_ =
        std::make_unique<Program>(fakes_.platform, *settings_, FromAnsi(root_.path().string()));
    program_->GetPrincipal();
    Display();
  }
  ~Player() { program_.reset(); }

  Afficheur& Display() { return program_->GetAfficheur(); }
  // The browser only records; forget what it recorded.
  void ForgetNavigations() {
    fakes_.toolkit.window("Afficheur")->control("Webcam").navigations.clear();
  }
  // A new trace entry: keeps the dots of a long bench run from growing the
  // trace without end (a real slide gets a new entry every few minutes).
  void NewTraceEntry() {
    program_->GetPrincipal().DEBUGGER1().ADDvalueWAIT(u"");
    program_->GetPrincipal().DEBUGGER1().ADDandWAIT(u"section : 1");
  }
  std::size_t PageBytes(int section) const {
    char folder[16];
    std::snprintf(folder, sizeof folder, "%05d", section);
    return fs::file_size(root_.path() / "flashs" / folder / "temporaire.html");
  }

 private:
  ContentRoot root_;
  fakes::FakePlatform fakes_;
  IniProfile ini_;
  std::unique_ptr<SettingsStore> settings_;
  std::unique_ptr<Program> program_;
};

// A tick while the slide stays: one read of "delais secondes" from the
// current section, the last one of the file, and one dot in the trace.
void BM_SequencerTickStay(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  Player player(sections);
  Afficheur& display = player.Display();
  display.sequencer.currentSection = static_cast<std::int16_t>(sections);
  player.NewTraceEntry();
  std::int64_t ticks = 0;
  for (auto _ : state) {
    display.sequencer.secondsCounter = 1;  // dwell 10: the slide stays
    display.Timer1_Timer();
    if (++ticks % 3000 == 0) {
      state.PauseTiming();
      player.NewTraceEntry();
      state.ResumeTiming();
    }
  }
  state.SetComplexityN(sections);
}
BENCHMARK(BM_SequencerTickStay)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

// Ticks that advance: each reads "section suivante", "Type", "image" and
// "Transition", the 4 KB image template and the transitions file, composes
// the page, writes it into the slide folder and navigates. The chain runs
// through every section of the file, so the sections read are spread over
// the whole file.
void AdvancingTicks(benchmark::State& state, bool emptyTransition) {
  const int sections = static_cast<int>(state.range(0));
  Player player(sections, emptyTransition);
  Afficheur& display = player.Display();
  std::int64_t ticks = 0;
  for (auto _ : state) {
    display.sequencer.secondsCounter = 1e9;  // beyond any dwell: advance
    display.Timer1_Timer();
    if (++ticks % 1000 == 0) player.ForgetNavigations();
  }
  state.counters["page_bytes"] =
      static_cast<double>(player.PageBytes(display.sequencer.currentSection));
  state.SetComplexityN(sections);
}

void BM_SequencerTickAdvance(benchmark::State& state) { AdvancingTicks(state, false); }
BENCHMARK(BM_SequencerTickAdvance)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

// The same with every "Transition" empty, as the player fills the key in
// itself: each advance also writes that default back.
void BM_SequencerTickAdvanceWriteBack(benchmark::State& state) { AdvancingTicks(state, true); }
BENCHMARK(BM_SequencerTickAdvanceWriteBack)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

}  // namespace
}  // namespace velane
