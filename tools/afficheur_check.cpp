// afficheur-check: reads a content root the way the player would and lists
// every misconfiguration the player would pass over in silence. It never
// writes anything.
//
//   afficheur-check [--week] [--json] [CONTENT_ROOT]
//   afficheur-check --status [--json] [STATUS_FOLDER]
//
// The content root defaults to the tool's own folder (installed beside the
// player, that is the player's content root). Exit status: 0 nothing found
// but notes, 1 warnings or errors found (or the report could not be
// printed), 2 usage error.
#include <clocale>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "check/fleet_status.h"
#include "check/playlist_check.h"
#include "config/ansi.h"
#include "config/settings.h"
#include "diagnostics/command_line.h"
#include "diagnostics/screen_status.h"
#include "platform/content_root.h"
#include "platform/host.h"
#include "velane_version.h"

namespace {

using namespace velane;

constexpr const char* kUsage =
    "usage: afficheur-check [--week] [--json] [CONTENT_ROOT] | --status [--json] "
    "[STATUS_FOLDER]\n";

constexpr const char* kHelp =
    "afficheur-check " VELANE_VERSION
    ": reads a content root of VELANE Afficheur the way the player\n"
    "would and lists what it finds, without writing anything.\n"
    "\n"
    "usage: afficheur-check [--week] [--json] [CONTENT_ROOT]\n"
    "       afficheur-check --status [--json] [STATUS_FOLDER]\n"
    "       afficheur-check --help | --version\n"
    "\n"
    "  CONTENT_ROOT  the folder holding VELANE_Afficheur.ini, modeles/ and\n"
    "             flashs/ (default: the folder of this tool, which is\n"
    "             installed beside the player)\n"
    "  --week     the week from today instead: for each day, the time bands,\n"
    "             the slides that play in each (in chain order) and the\n"
    "             screen-off hours. \"Today\" is the machine's local date\n"
    "             (under faketime, the date it gives)\n"
    "  --json     one JSON object instead of text lines\n"
    "  --status   the fleet at a glance: one line per screen of the status\n"
    "             folder (default: the content root's etat/, or\n"
    "             VELANE_STATUS_DIR), and the fleet page index.html written\n"
    "             there; a screen silent for more than 3 min is marked\n"
    "  --         ends the options, for a folder that begins with "
    "\"-\"\n" VELANE_HELP_STANDARD_OPTIONS
    "\n"
    "It prints the chain of slides from section 0 as the screen will show\n"
    "it (d seconds of \"delais secondes\" show for d + 1 ticks of one\n"
    "second), then each finding with its severity:\n"
    "  error    the screen will show something other than intended (a blank\n"
    "           page, a missing folder or template, an unknown Type, a\n"
    "           display geometry that stops the window's set-up)\n"
    "  warning  it works, but probably not as meant (sections skipped or\n"
    "           never reached, a slide shown 1 s, a missing transition)\n"
    "  note     a key the player will fill in with its default, by design\n"
    "\n"
    "Exit status: 0 nothing found, or only notes; 1 warnings or errors (or\n"
    "the report could not be printed); 2 usage error (an unknown option, a\n"
    "second folder, a folder that does not exist).\n"
    "With --status: 0 every screen well; 1 a warning (a content problem on\n"
    "some screen, a status file that cannot be read, no screen at all); 2 a\n"
    "screen silent or its player restarting over and over (or a usage\n"
    "error).\n"
    "\n"
    "Before publishing a playlist, the player draws every slide of it into\n"
    "one picture, without showing a window (it needs a display all the same):\n"
    "  VELANE_Afficheur --preview OUT.png [CONTENT_ROOT]\n"
    "(not in the Windows build).\n"
    "\n"
    "Example:\n"
    "  afficheur-check --json build/player\n"
    "  afficheur-check --status /srv/affichage/etat\n";

int UsageError() {
  std::fputs(kUsage, stderr);
  return 2;
}

struct Command {
  bool json = false;
  bool week = false;
  bool status = false;
  bool help = false;
  bool version = false;
  std::optional<std::string> root;
};

// Options first or anywhere; "--" ends them, so a root may begin with "-".
std::optional<Command> Parse(int argc, char** argv) {
  Command command;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (options && arg == "--") {
      options = false;
    } else if (options && arg == "--json") {
      command.json = true;
    } else if (options && arg == "--week") {
      command.week = true;
    } else if (options && arg == "--status") {
      command.status = true;
    } else if (options && (arg == "--help" || arg == "-h")) {
      command.help = true;
    } else if (options && arg == "--version") {
      command.version = true;
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      return std::nullopt;
    } else if (command.root || arg.empty()) {
      return std::nullopt;
    } else {
      command.root = std::string(arg);
    }
  }
  if (command.week && command.status) return std::nullopt;  // two reports in one
  return command;
}

bool IsFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(std::filesystem::path(path), error);
}

bool Print(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0)
    return true;
  std::fprintf(stderr, "afficheur-check: cannot print the report\n");
  return false;
}

// --status: the screens of the status folder, and their page written there.
int FleetStatus(const Command& command, const std::string& folder) {
  const std::time_t now = std::time(nullptr);
  const FleetReport report = ReadFleet(folder, now);
  char generated[32] = "";
  if (const std::tm* local = std::localtime(&now))
    std::strftime(generated, sizeof generated, "%Y-%m-%d %H:%M:%S", local);
  const std::string page = folder + static_cast<char>(platform::kPathSeparator) + "index.html";
  if (platform::ReplaceFileWhole(page, FormatFleetPage(report, generated)) !=
      platform::FileWrite::kWritten)
    std::fprintf(stderr, "afficheur-check: cannot write the fleet page %s\n", page.c_str());
  if (!Print(command.json ? FormatFleetJson(report) : FormatFleetText(report))) return 2;
  return report.ExitStatus();
}

}  // namespace

int main(int argc, char** argv) {
  // The player's toolkit takes the user's locale at start-up, and with it
  // the decimal separator of the display sizes: the check must see the same.
  std::setlocale(LC_ALL, "");

  const auto command = Parse(argc, argv);
  if (!command) return UsageError();
  if (command->help || command->version) {
    std::fputs(command->help ? kHelp : "afficheur-check " VELANE_VERSION "\n", stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }

  std::string root;
  if (command->root) {
    root = *command->root;
  } else {
    const auto exe = platform::RunningExecutablePath();
    if (!exe) {
      std::fprintf(stderr, "afficheur-check: cannot find its own folder\n");
      return 2;
    }
    // The player's own choice of content root, the same variable included.
    const std::u16string folder = FolderOf(FromAnsi(*exe));
    const platform::ContentRoot chosen =
        platform::ChooseContentRoot(folder, PlaylistOfRoot(folder));
    for (const std::string& note : chosen.notes)
      std::fprintf(stderr, "afficheur-check: %s\n", note.c_str());
    root = ToAnsi(chosen.folder);
    if (root.empty()) root.push_back('/');  // the executable sits in /
    if (command->status) root = ToAnsi(StatusFolderOf(chosen.folder));
  }
  if (command->status) {
    if (!IsFolder(root)) {
      std::fprintf(stderr, "afficheur-check: %s is not a status folder; %s", root.c_str(), kUsage);
      return 2;
    }
    return FleetStatus(*command, root);
  }
  if (!IsFolder(root)) {
    std::fprintf(stderr, "afficheur-check: %s is not a folder; %s", root.c_str(), kUsage);
    return 2;
  }

  const CheckReport report = CheckContentRoot(FromAnsi(root));
  if (!Print(command->week ? (command->json ? FormatWeekJson(report) : FormatWeekText(report))
                           : (command->json ? FormatCheckJson(report) : FormatCheckText(report))))
    return 1;
  return report.NeedsAttention() ? 1 : 0;
}
