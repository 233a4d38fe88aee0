// afficheur-check: reads a content root the way the player would and lists
// every misconfiguration the player would pass over in silence. It never
// writes anything.
//
//   afficheur-check [--json] [CONTENT_ROOT]
//
// The content root defaults to the tool's own folder (installed beside the
// player, that is the player's content root). Exit status: 0 nothing found,
// 1 problems found (or the report could not be printed), 2 usage error.
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "check/playlist_check.h"
#include "config/ansi.h"
#include "config/settings.h"
#include "platform/content_root.h"
#include "platform/host.h"

namespace {

using namespace velane;

constexpr const char* kUsage = "usage: afficheur-check [--json] [CONTENT_ROOT]\n";

int UsageError() {
  std::fputs(kUsage, stderr);
  return 2;
}

struct Command {
  bool json = false;
  bool help = false;
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
    } else if (options && (arg == "--help" || arg == "-h")) {
      command.help = true;
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      return std::nullopt;
    } else if (command.root || arg.empty()) {
      return std::nullopt;
    } else {
      command.root = std::string(arg);
    }
  }
  return command;
}

bool IsFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(std::filesystem::path(path), error);
}

}  // namespace

int main(int argc, char** argv) {
  // The player's toolkit takes the user's locale at start-up, and with it
  // the decimal separator of the display sizes: the check must see the same.
  std::setlocale(LC_ALL, "");

  const auto command = Parse(argc, argv);
  if (!command) return UsageError();
  if (command->help) {
    std::fputs(kUsage, stdout);
    return 0;
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
  }
  if (!IsFolder(root)) {
    std::fprintf(stderr, "afficheur-check: %s is not a folder; %s",
                 root.c_str(), kUsage);
    return 2;
  }

  const CheckReport report = CheckContentRoot(FromAnsi(root));
  const std::string text =
      command->json ? FormatCheckJson(report) : FormatCheckText(report);
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
      std::fflush(stdout) != 0) {
    std::fprintf(stderr, "afficheur-check: cannot print the report\n");
    return 1;
  }
  return report.Clean() ? 0 : 1;
}
