// A whole program over the fakes: a fresh content root in a temporary
// folder (also the current directory, where the trace log goes), the fake
// platform, the real INI engine and settings store, and the program itself.
// Nothing runs until the test calls Start() or raises an event.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "config/ansi.h"
#include "config/settings.h"
#include "fakes/fake_platform.h"
#include "machine_profile.h"
#include "test_files.h"
#include "windows/bindings.h"
#include "windows/program.h"

namespace velane::testing_support {

namespace fs = std::filesystem;

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
  SettingsStore settings{ini, nullptr, FromAnsi((root.path() / "VELANE_Afficheur.ini").string())};
  Program program{fakes.platform, settings, FromAnsi(root.path().string())};
};

}  // namespace velane::testing_support
