// The playlist edited while the player runs: another process rewrites
// values of the slide on screen 1,000 times while the player ticks as fast
// as it can. Every edit is read by the next tick that reads the key, and no
// default the player writes back ever replaces an edited value, not even
// when the edit lands between the player's read of the key and its write
// (the write-back then finds the key set and leaves it).
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "config/settings.h"
#include "display/afficheur.h"
#include "platform/posix/ini_profile.h"
#include "platform/profile.h"
#include "program_fixture.h"

namespace velane {
namespace {

namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

constexpr int kEdits = 1000;

// The keys of section 1 the editor changes, one per edit in turn. Each is
// one the player reads, and each is set in turn to a value the player
// writes back itself (empty, or equal to its default) and to one it keeps.
enum Key { kImage, kTransition, kNext, kDwell, kKeyCount };
const char* const kKeyNames[kKeyCount] = {"image", "Transition", "section suivante",
                                          "delais secondes"};

struct Values {
  std::string v[kKeyCount];
};

// The values of section 1 after edits 1 to k.
Values StateAfter(int k) {
  Values s{{"photo0.jpg", "", "1", ""}};
  for (int e = 1; e <= k; ++e) {
    const bool second = (e / kKeyCount) % 2 == 1;
    switch (e % kKeyCount) {
      case kImage:
        s.v[kImage] = "photo" + std::to_string(e) + ".jpg";
        break;
      // Empty is written back as it is; a number selects a transition.
      case kTransition:
        s.v[kTransition] = second ? "" : std::to_string(1 + (e / 8) % 3);
        break;
      // "0" equals the default and is written back; "1" loops on section 1.
      case kNext:
        s.v[kNext] = second ? "0" : "1";
        break;
      // Empty is written back and moves on at every tick; a day stays.
      case kDwell:
        s.v[kDwell] = second ? "86400" : "";
        break;
    }
  }
  return s;
}

// Shared by the player (this process) and the editor (a child): plain
// lock-free atomics in a shared anonymous mapping.
struct Handshake {
  std::atomic<int> editsDone{0};   // the editor's last finished edit
  std::atomic<int> confirmed{-1};  // edit seen at the start of a finished tick
  std::atomic<int> undone{0};      // edits found replaced after a tick
  std::atomic<int> firstUndone{-1};
  std::atomic<int> firstUndoneKey{-1};
  std::atomic<bool> finished{false};
};

class SharedHandshake {
 public:
  SharedHandshake() {
    void* p = ::mmap(nullptr, sizeof(Handshake), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS,
                     -1, 0);
    if (p != MAP_FAILED) h_ = new (p) Handshake;
  }
  ~SharedHandshake() {
    if (h_) {
      h_->~Handshake();
      ::munmap(h_, sizeof(Handshake));
    }
  }
  SharedHandshake(const SharedHandshake&) = delete;
  SharedHandshake& operator=(const SharedHandshake&) = delete;
  Handshake* get() const { return h_; }

 private:
  Handshake* h_ = nullptr;
};

// The editor: one key per edit, through the same locked, atomic writes as
// the operator's settings tool. After each edit it waits until the player
// has finished a tick that began after it, then reads back all four keys:
// each must still hold its edited value.
void Edit(const std::string& playlist, Handshake& h) {
  static_assert(std::atomic<int>::is_always_lock_free);
  IniProfile ini;
  using Clock = std::chrono::steady_clock;
  for (int k = 1; k <= kEdits; ++k) {
    const Values want = StateAfter(k);
    const int key = k % kKeyCount;
    if (!ini.WritePrivateProfileStringA("section 1", kKeyNames[key], want.v[key].c_str(),
                                        playlist.c_str()))
      ::_exit(3);
    h.editsDone.store(k);
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (h.confirmed.load() < k) {
      if (Clock::now() > deadline) ::_exit(4);  // the player stopped
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    for (int i = 0; i < kKeyCount; ++i) {
      std::string value;
      ini.GetPrivateProfileStringA("section 1", kKeyNames[i], "\x01", value, 590, playlist.c_str());
      if (value != want.v[i] && h.undone.fetch_add(1) == 0) {
        h.firstUndone.store(k);
        h.firstUndoneKey.store(i);
      }
    }
  }
  h.finished.store(true);
}

// The same race made to happen every time: an edit lands between the read
// that decides on a write-back and the write-back itself.
class EditAfterRead : public platform::ProfileStrings {
 public:
  EditAfterRead(IniProfile& ini, std::string edit) : ini_(ini), edit_(std::move(edit)) {}
  std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* defaultValue, std::string& out,
                                         std::uint32_t size, const char* file) override {
    const std::uint32_t n =
        ini_.GetPrivateProfileStringA(section, key, defaultValue, out, size, file);
    ini_.WritePrivateProfileStringA(section, key, edit_.c_str(), file);  // the operator
    return n;
  }
  bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                  const char* file) override {
    return ini_.WritePrivateProfileStringA(section, key, value, file);
  }
  bool WriteBackDefaultA(const char* section, const char* key, const char* value,
                         const char* file) override {
    return ini_.WriteBackDefaultA(section, key, value, file);
  }

 private:
  IniProfile& ini_;
  std::string edit_;
};

class WriteBack : public ::testing::Test {
 protected:
  std::string Value(const char* key) {
    std::string out;
    ini.GetPrivateProfileStringA("section 1", key, "\x01", out, 590, path.c_str());
    return out;
  }
  // ReadSetting in mode 2 while the operator sets the key to `edit`.
  std::u16string ReadWhileEdited(const char* key, const char16_t* def, std::string edit) {
    EditAfterRead racing(ini, std::move(edit));
    SettingsStore store(racing, nullptr, FromAnsi(path));
    return store.ReadSetting(u"section 1", FromAnsi(key), def, u"", 2);
  }

  testing_support::TempFolder folder;
  std::string path = (folder.path() / "VELANE_Afficheur.ini").string();
  IniProfile ini;
};

TEST_F(WriteBack, AnEditBetweenTheReadAndTheWriteBackIsKept) {
  WriteBytes(path, "[section 1]\r\ndelais secondes=\r\nsection suivante=0\r\n");
  // Empty when read, then edited: the default is not written over the edit.
  EXPECT_EQ(ReadWhileEdited("delais secondes", u"", "30"), u"");
  EXPECT_EQ(Value("delais secondes"), "30");
  // Equal to the default when read, then edited.
  EXPECT_EQ(ReadWhileEdited("section suivante", u"0", "4"), u"0");
  EXPECT_EQ(Value("section suivante"), "4");
  // Missing when read, then added by the operator.
  EXPECT_EQ(ReadWhileEdited("Transition", u"", "2"), u"");
  EXPECT_EQ(Value("Transition"), "2");
}

TEST_F(WriteBack, WritesWhatTheReadFoundUnset) {
  WriteBytes(path, "[section 1]\r\nType=\r\nsection suivante= 0 \r\nimage=\"\"\r\n");
  // Nobody edits: missing, empty, blank-padded or quoted-empty keys all get
  // their default, as a plain write-back gives.
  for (const char* key : {"Type", "section suivante", "image", "Transition"}) {
    ASSERT_TRUE(ini.WriteBackDefaultA("section 1", key, key[0] == 's' ? "0" : "d", path.c_str()));
  }
  EXPECT_EQ(ReadBytes(path),
            "[section 1]\r\nType=d\r\nsection suivante=0\r\nimage=d\r\nTransition=d\r\n");
  // A missing file is created, as by any write.
  const std::string fresh = (folder.path() / "new.ini").string();
  ASSERT_TRUE(ini.WriteBackDefaultA("s", "k", "v", fresh.c_str()));
  EXPECT_EQ(ReadBytes(fresh), "[s]\r\nk=v\r\n");
}

TEST_F(WriteBack, LeavesAnyOtherValueAlone) {
  const std::string text = "[section 1]\r\nType=image\r\ndelais secondes='5'\r\n";
  WriteBytes(path, text);
  EXPECT_TRUE(ini.WriteBackDefaultA("section 1", "Type", "", path.c_str()));
  EXPECT_TRUE(ini.WriteBackDefaultA("SECTION 1 ", "delais secondes", "", path.c_str()));
  EXPECT_EQ(ReadBytes(path), text);
  // A plain write still sets it.
  EXPECT_TRUE(ini.WritePrivateProfileStringA("section 1", "Type", "", path.c_str()));
  EXPECT_EQ(Value("Type"), "");
}

class LiveEdit : public testing_support::ProgramFixture {
 protected:
  void SetUp() override {
    const fs::path r = root.path();
    WriteBytes(PlaylistFile(),
               "[Systeme]\r\nTailleEcranL=768\r\nTailleEcranW=576\r\nmarge=2\r\n"
               "[section 0]\r\ndelais secondes=0\r\nsection suivante=1\r\n"
               "Type=image\r\nimage=zero.jpg\r\nTransition=9\r\n"
               "[section 1]\r\ndelais secondes=\r\nsection suivante=1\r\n"
               "Type=image\r\nimage=photo0.jpg\r\nTransition=\r\n");
    fs::create_directories(r / "modeles");
    WriteBytes(r / "modeles" / "image.html",
               "<meta http-equiv=\"Content-Type\"><img src=\"%FICHIER%\">\r\n");
    WriteBytes(r / "modeles" / "transitions.ini",
               "[0]\r\nhtml=<T0>\r\n[1]\r\nhtml=<T1>\r\n[2]\r\nhtml=<T2>\r\n"
               "[3]\r\nhtml=<T3>\r\n[9]\r\nhtml=<T9>\r\n");
    fs::create_directories(r / "flashs" / "00000");
    fs::create_directories(r / "flashs" / "00001");
    StartWith(u"RUNTIME");
  }

  std::u16string PagePath(const char* folder) {
    return FromAnsi((root.path() / "flashs" / folder / "temporaire.html").string());
  }

  // Whether some state between edits first and last gives key that value.
  bool SomeStateHas(int first, int last, Key key, const std::string& value) const {
    for (int e = first; e <= last; ++e)
      if (states[e].v[key] == value) return true;
    return false;
  }

  std::vector<Values> states = [] {
    std::vector<Values> all;
    for (int k = 0; k <= kEdits; ++k) all.push_back(StateAfter(k));
    return all;
  }();
};

TEST_F(LiveEdit, EveryEditIsReadAtTheNextTickAndNoneIsUndone) {
  SharedHandshake shared;
  Handshake* h = shared.get();
  ASSERT_NE(h, nullptr);
  fakes::FakeControl& webcam = Webcam();
  SequencerState& seq = program.GetAfficheur().sequencer;
  fakes.toolkit.Fire(kTimer1IntervalMs);  // the first tick shows section 1
  ASSERT_EQ(seq.currentSection, 1);

  const std::string playlist = PlaylistFile().string();
  ChildProcess editor = ChildProcess::Start([&] { Edit(playlist, *h); });
  ASSERT_TRUE(editor.started());

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(240);
  int ticks = 0, advances = 0, stays = 0, pagesChecked = 0, wrong = 0;
  auto wrongTick = [&](const std::string& what) {
    if (wrong++ < 10) ADD_FAILURE() << "tick " << ticks << ": " << what;
  };
  while (!h->finished.load()) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the editor stalled";
    const int first = h->editsDone.load();
    const int from = seq.currentSection;
    const std::size_t shown = webcam.navigations.size();
    fakes.toolkit.Fire(kTimer1IntervalMs);
    ++ticks;
    // An edit may land while the tick runs, and the file shows it a moment
    // before the editor reports it done: the tick may have read the state
    // of the next edit too, but of no later one (the editor waits for a
    // tick that began after its edit before it makes the next).
    const int last = std::min(kEdits, first + 1);
    const bool advanced = webcam.navigations.size() > shown;

    if (from == 1) {
      if (!SomeStateHas(first, last, kDwell, advanced ? "" : "86400"))
        wrongTick(std::string(advanced ? "moved on" : "stayed") + " against the dwell of edits " +
                  std::to_string(first) + ".." + std::to_string(last));
      if (advanced) {
        const bool toOne = webcam.navigations.back() == PagePath("00001");
        if (!SomeStateHas(first, last, kNext, toOne ? "1" : "0"))
          wrongTick("went to the wrong section after edit " + std::to_string(first));
      }
    } else if (!advanced || webcam.navigations.back() != PagePath("00001")) {
      wrongTick("section 0 did not lead to section 1");
    }
    advances += advanced;
    stays += !advanced;
    if (advanced && webcam.navigations.back() == PagePath("00001")) {
      // The page shows the image and the transition the tick read.
      const std::string page = ReadBytes(root.path() / "flashs/00001/temporaire.html");
      bool imageOk = false, transitionOk = false;
      for (int e = first; e <= last; ++e) {
        const Values& s = states[e];
        imageOk |= page.find("src=\"" + s.v[kImage] + "\"") != std::string::npos;
        const std::string t = s.v[kTransition].empty() ? "0" : s.v[kTransition];
        transitionOk |= page.starts_with("<T" + t + ">");
      }
      if (!imageOk || !transitionOk) wrongTick("page from an older playlist: " + page);
      ++pagesChecked;
    }
    if (webcam.navigations.size() > 1000) webcam.navigations.clear();
    h->confirmed.store(first);
  }
  const int status = editor.Wait();
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the editor failed, status " << status;

  EXPECT_EQ(wrong, 0) << "ticks that missed an edit";
  EXPECT_EQ(h->undone.load(), 0) << "edited values replaced by the player; first: edit "
                                 << h->firstUndone.load() << ", key "
                                 << (h->firstUndoneKey.load() >= 0
                                         ? kKeyNames[h->firstUndoneKey.load()]
                                         : "?");
  // The test did exercise both ways of a tick, and the page.
  EXPECT_GT(advances, 0);
  EXPECT_GT(stays, 0);
  EXPECT_GT(pagesChecked, kEdits / 4);
  RecordProperty("ticks", ticks);

  // The file ends with every edit in place.
  const Values& final = states[kEdits];
  for (int i = 0; i < kKeyCount; ++i) {
    std::string value;
    ini.GetPrivateProfileStringA("section 1", kKeyNames[i], "\x01", value, 590, playlist.c_str());
    EXPECT_EQ(value, final.v[i]) << kKeyNames[i];
  }
}

}  // namespace
}  // namespace velane
