// The running program: the platform services, the settings store, the
// program-wide values (display geometry, runtime-mode flag) and the single
// instance of each window, created on first use and kept to the end.
#pragma once

#include <memory>
#include <string>

#include "config/settings.h"
#include "diagnostics/content_problems.h"
#include "platform/files.h"
#include "platform/platform.h"

namespace velane {

class Afficheur;
class principal;
class Quitter;

// Display geometry, in pixels: set once by the display window's load.
struct DisplayGeometry {
  double width = 0;   // "TailleEcranL"
  double height = 0;  // "TailleEcranW"
  double margin = 0;  // "marge"
};

class Program {
 public:
  Program(platform::Platform& platform, SettingsStore& settings, std::u16string contentRoot);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Process start: creates the trace window, whose load is the start-up
  // sequence, then shows it unless the start-up hid it.
  void Start();

  // The windows, each created (and loaded) on first use.
  velane::principal& GetPrincipal();
  velane::Afficheur& GetAfficheur();
  velane::Quitter& GetQuitter();
  bool PrincipalExists() const { return principal_ != nullptr; }

  platform::Platform& platform;
  SettingsStore& settings;
  // The executable's folder, without a trailing separator.
  const std::u16string contentRoot;

  DisplayGeometry geometry;
  bool runtimeMode = false;
  bool reportingFailure = false;  // ReportFailure is at work
  ProblemReports problems;        // what has been told of the content

 private:
  std::unique_ptr<velane::principal> principal_;
  std::unique_ptr<velane::Afficheur> afficheur_;
  std::unique_ptr<velane::Quitter> quitter_;
};

}  // namespace velane
