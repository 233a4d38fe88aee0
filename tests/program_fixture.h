// A whole program over the fakes: a fresh content root in a temporary
// folder (also the current directory, where the trace log goes), the fake
// platform, the real INI engine and settings store, and the program itself.
// Nothing runs until the test calls Start() or raises an event.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "config/ansi.h"
#include "config/settings.h"
#include "fakes/fake_platform.h"
#include "machine_profile.h"
#include "windows/bindings.h"
#include "windows/program.h"

namespace velane::testing_support {

namespace fs = std::filesystem;

// A new empty folder, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern =
        (fs::temp_directory_path() / "velane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Makes a folder the current directory for the guard's life.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const fs::path& folder)
      : previous_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~CurrentDirectory() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
  }
  CurrentDirectory(const CurrentDirectory&) = delete;
  CurrentDirectory& operator=(const CurrentDirectory&) = delete;

 private:
  fs::path previous_;
};

inline std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::size_t CountLines(const std::string& text) {
  std::size_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

class ProgramFixture : public ::testing::Test {
 protected:
  ProgramFixture() {
    fakes.process.executable = FromAnsi((root.path() / "VELANE_Afficheur").string());
  }

  // The playlist settings file of the content root.
  fs::path PlaylistFile() const { return root.path() / "VELANE_Afficheur.ini"; }

  // Process start with this argument text.
  void StartWith(const std::u16string& arguments) {
    fakes.process.arguments = arguments;
    program.Start();
  }

  fakes::FakeWindow& AfficheurWindow() { return *fakes.toolkit.window("Afficheur"); }
  fakes::FakeWindow& PrincipalWindow() { return *fakes.toolkit.window("principal"); }
  fakes::FakeWindow* QuitterWindow() { return fakes.toolkit.window("Quitter"); }
  fakes::FakeControl& Webcam() { return AfficheurWindow().control("Webcam"); }

  TempFolder root;
  CurrentDirectory cwd{root.path()};
  fakes::FakePlatform fakes;
  MachineIni ini;
  SettingsStore settings{ini, nullptr,
                         FromAnsi((root.path() / "VELANE_Afficheur.ini").string())};
  Program program{fakes.platform, settings, FromAnsi(root.path().string())};
};

}  // namespace velane::testing_support
