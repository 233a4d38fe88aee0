// afficheur-settings: reads and writes the player's settings from a shell,
// with exactly the player's rules (the same settings store and INI engine).
//
//   afficheur-settings get [--file F] [--mode N] SECTION KEY [DEFAULT]
//   afficheur-settings set [--file F] SECTION KEY VALUE
//
// Arguments are taken as ANSI bytes and the value is printed as ANSI bytes,
// so whatever the file holds (UTF-8 included) passes through unchanged.
// Exit status: 0 done, 1 the settings could not be written (or printed),
// 2 usage error.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/ansi.h"
#include "config/settings.h"
#include "platform/content_root.h"
#include "platform/host.h"

namespace {

using namespace velane;

constexpr const char* kUsage =
    "usage: afficheur-settings get [--file F] [--mode N] SECTION KEY "
    "[DEFAULT] | set [--file F] SECTION KEY VALUE\n";

int UsageError() {
  std::fputs(kUsage, stderr);
  return 2;
}

// Passes every call on and remembers whether a write was refused: the
// store itself ignores that, but an operator must be told.
class WatchedProfile : public platform::ProfileStrings {
 public:
  explicit WatchedProfile(platform::ProfileStrings& inner) : inner_(inner) {}
  std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* defaultValue,
                                         std::string& out, std::uint32_t size,
                                         const char* file) override {
    return inner_.GetPrivateProfileStringA(section, key, defaultValue, out,
                                           size, file);
  }
  bool WritePrivateProfileStringA(const char* section, const char* key,
                                  const char* value,
                                  const char* file) override {
    const bool written =
        inner_.WritePrivateProfileStringA(section, key, value, file);
    if (!written) refused_ = true;
    return written;
  }
  bool refused() const { return refused_; }

 private:
  platform::ProfileStrings& inner_;
  bool refused_ = false;
};

// A 16-bit mode in plain decimal ("-1", "2").
std::optional<std::int16_t> ParseMode(std::string_view text) {
  std::size_t i = text.starts_with('-') ? 1 : 0;
  if (i == text.size() || text.size() > 7) return std::nullopt;
  long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  if (text.starts_with('-')) value = -value;
  if (value < INT16_MIN || value > INT16_MAX) return std::nullopt;
  return static_cast<std::int16_t>(value);
}

struct Command {
  bool set = false;
  std::optional<std::string> file;
  std::int16_t mode = 1;
  std::vector<std::string> operands;
};

// Options come before the operands; "--" ends them, so that an operand may
// begin with "-" (a section named -2).
std::optional<Command> Parse(int argc, char** argv) {
  if (argc < 2) return std::nullopt;
  Command command;
  const std::string_view verb = argv[1];
  if (verb == "set") {
    command.set = true;
  } else if (verb != "get") {
    return std::nullopt;
  }
  bool options = true;
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (options && arg == "--") {
      options = false;
    } else if (options && (arg == "--file" || arg == "--mode")) {
      if (i + 1 >= argc) return std::nullopt;
      const std::string_view value = argv[++i];
      if (arg == "--file") {
        command.file = std::string(value);
      } else {
        auto mode = ParseMode(value);
        if (!mode || command.set) return std::nullopt;
        command.mode = *mode;
      }
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      return std::nullopt;
    } else {
      command.operands.emplace_back(arg);
    }
  }
  const std::size_t n = command.operands.size();
  if (command.set ? n != 3 : (n < 2 || n > 3)) return std::nullopt;
  return command;
}

bool Print(const std::string& bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
         std::fflush(stdout) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const auto command = Parse(argc, argv);
  if (!command) return UsageError();

  const auto exe = platform::RunningExecutablePath();
  if (!exe) {
    std::fprintf(stderr, "afficheur-settings: cannot find its own folder\n");
    return 1;
  }
  // The player's settings file: beside the tool, named after the player,
  // or in the content root the player is pointed at.
  const std::u16string exePath = FromAnsi(*exe);
  const platform::ContentRoot root = platform::ChooseContentRoot(
      FolderOf(exePath), platform::PlayerPlaylistBeside(exePath));
  for (const std::string& note : root.notes)
    std::fprintf(stderr, "afficheur-settings: %s\n", note.c_str());
  const std::u16string playlist = root.playlist;

  // The machine's own profile functions and, for a "$" file argument, the
  // registry the player would use there (none: the default, nothing
  // written).
  const auto profile = platform::MachineProfile();
  WatchedProfile watched(*profile);
  const auto registry = platform::SettingsRegistry();
  SettingsStore store(watched, registry.get(), playlist);

  const auto& ops = command->operands;
  const std::u16string file = command->file ? FromAnsi(*command->file) : u"";
  const std::u16string defaultValue = ops.size() > 2 ? FromAnsi(ops[2]) : u"";
  const std::int16_t mode = command->set ? 0 : command->mode;

  const std::u16string result = store.ReadSetting(
      FromAnsi(ops[0]), FromAnsi(ops[1]), defaultValue, file, mode);

  const std::string shownFile =
      ToAnsi(file.empty() ? store.PlaylistPath() : file);
  if (command->set) {
    if (watched.refused()) {
      std::fprintf(stderr, "afficheur-settings: cannot write %s\n",
                   shownFile.c_str());
      return 1;
    }
    return 0;
  }
  if (watched.refused())
    std::fprintf(stderr, "afficheur-settings: warning: cannot write %s\n",
                 shownFile.c_str());
  if (!Print(ToAnsi(result) + "\n")) return 1;
  return 0;
}
