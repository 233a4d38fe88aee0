// afficheur-settings: reads and writes the player's settings from a shell,
// with exactly the player's rules (the same settings store and INI engine).
//
//   afficheur-settings get [--file F] [--mode N] SECTION KEY [DEFAULT]
//   afficheur-settings set [--file F] SECTION KEY VALUE
//
// Arguments are taken as ANSI bytes and the value is printed as ANSI bytes,
// so whatever the file holds (UTF-8 included) passes through unchanged.
// Exit status: 0 done, 1 the settings could not be written (or printed),
// 2 usage error. --help tells the operator all of this.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/ansi.h"
#include "config/settings.h"
#include "diagnostics/command_line.h"
#include "display/slide_rules.h"
#include "platform/content_root.h"
#include "platform/host.h"
#include "velane_version.h"

namespace {

using namespace velane;

constexpr const char* kUsage =
    "usage: afficheur-settings get [--file F] [--mode N] SECTION KEY "
    "[DEFAULT] | set [--file F] SECTION KEY VALUE\n";

constexpr const char* kHelp =
    "afficheur-settings " VELANE_VERSION
    ": reads and writes the settings of VELANE Afficheur with the\n"
    "player's own rules (its settings store and INI engine).\n"
    "\n"
    "usage: afficheur-settings get [--file F] [--mode N] SECTION KEY [DEFAULT]\n"
    "       afficheur-settings set [--file F] SECTION KEY VALUE\n"
    "       afficheur-settings --help | --version\n"
    "\n"
    "  get        print the value of KEY in [SECTION], or DEFAULT (empty when\n"
    "             left out) when the key is missing or empty; a file that does\n"
    "             not exist reads as empty (said on stderr)\n"
    "  set        write VALUE as the value of KEY in [SECTION]\n"
    "  --file F   the INI file to use instead of the player's playlist,\n"
    "             VELANE_Afficheur.ini beside this tool; \"$\" followed by a\n"
    "             registry path ($HKEY_CURRENT_USER\\Software\\...) uses the\n"
    "             user's registry store instead of a file\n"
    "  --mode N   how get reads, as the player's settings store does:\n"
    "             1 (the default) reads only and never writes;\n"
    "             2 also writes DEFAULT into the file when the key is missing\n"
    "             or empty, as the player does, so its playlist fills itself;\n"
    "             0 writes DEFAULT and prints it, as set does;\n"
    "             any other number reads like 1\n"
    "  --         ends the options, for a SECTION that begins with \"-\" "
    "(-2)\n" VELANE_HELP_STANDARD_OPTIONS
    "\n"
    "Exit status: 0 done; 1 a value could not be stored (a file or folder\n"
    "that cannot be written, an unreadable registry store) or printed;\n"
    "2 usage error.\n"
    "\n"
    "Example:\n"
    "  afficheur-settings set \"section 1\" \"delais secondes\" 10\n";

int UsageError() {
  std::fputs(kUsage, stderr);
  return 2;
}

// Passes every registry call on and remembers whether the store itself
// failed (unreadable, unreachable, refused) and whether a value was
// stored: the settings store ignores both, an operator must be told.
class WatchedRegistry : public platform::Registry {
 public:
  explicit WatchedRegistry(platform::Registry& inner) : inner_(inner) {}
  platform::RegStatus RegCreateKeyExA(platform::RegHandle key, const char* subKey,
                                      std::uint32_t reserved, const char* keyClass,
                                      std::uint32_t options, std::uint32_t rights,
                                      const platform::SecurityAttributes* security,
                                      platform::RegHandle* result,
                                      std::uint32_t* disposition) override {
    return Watch(inner_.RegCreateKeyExA(key, subKey, reserved, keyClass, options, rights, security,
                                        result, disposition));
  }
  platform::RegStatus RegOpenKeyExA(platform::RegHandle key, const char* subKey,
                                    std::uint32_t options, std::uint32_t rights,
                                    platform::RegHandle* result) override {
    return Watch(inner_.RegOpenKeyExA(key, subKey, options, rights, result));
  }
  platform::RegStatus RegCloseKey(platform::RegHandle key) override {
    return inner_.RegCloseKey(key);
  }
  platform::RegStatus RegQueryValueExA(platform::RegHandle key, const char* valueName,
                                       std::uint32_t* reserved, std::uint32_t* type,
                                       std::uint8_t* data, std::uint32_t* dataSize) override {
    return Watch(inner_.RegQueryValueExA(key, valueName, reserved, type, data, dataSize));
  }
  platform::RegStatus RegSetValueExA(platform::RegHandle key, const char* valueName,
                                     std::uint32_t reserved, std::uint32_t type,
                                     const std::uint8_t* data, std::uint32_t dataSize) override {
    const auto status =
        Watch(inner_.RegSetValueExA(key, valueName, reserved, type, data, dataSize));
    if (status == platform::kRegSuccess) stored_ = true;
    return status;
  }
  platform::RegStatus RegEnumValueA(platform::RegHandle key, std::uint32_t index, char* name,
                                    std::uint32_t* nameSize, std::uint32_t* reserved,
                                    std::uint32_t* type, std::uint8_t* data,
                                    std::uint32_t* dataSize) override {
    return Watch(inner_.RegEnumValueA(key, index, name, nameSize, reserved, type, data, dataSize));
  }
  platform::RegStatus RegEnumKeyA(platform::RegHandle key, std::uint32_t index, char* name,
                                  std::uint32_t nameSize) override {
    return Watch(inner_.RegEnumKeyA(key, index, name, nameSize));
  }
  platform::RegStatus RegDeleteKeyA(platform::RegHandle key, const char* subKey) override {
    return Watch(inner_.RegDeleteKeyA(key, subKey));
  }
  platform::RegStatus RegDeleteValueA(platform::RegHandle key, const char* valueName) override {
    return Watch(inner_.RegDeleteValueA(key, valueName));
  }

  bool storeFailed() const { return storeFailed_; }
  bool stored() const { return stored_; }

 private:
  platform::RegStatus Watch(platform::RegStatus status) {
    if (status == platform::kRegAccessDenied || status == platform::kRegBadDatabase ||
        status == platform::kRegIoFailed)
      storeFailed_ = true;
    return status;
  }

  platform::Registry& inner_;
  bool storeFailed_ = false;
  bool stored_ = false;
};

// Passes every call on and remembers whether a write was refused: the
// store itself ignores that, but an operator must be told.
class WatchedProfile : public platform::ProfileStrings {
 public:
  explicit WatchedProfile(platform::ProfileStrings& inner) : inner_(inner) {}
  std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* defaultValue, std::string& out,
                                         std::uint32_t size, const char* file) override {
    return inner_.GetPrivateProfileStringA(section, key, defaultValue, out, size, file);
  }
  bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                  const char* file) override {
    return Watch(inner_.WritePrivateProfileStringA(section, key, value, file));
  }
  // Passed on as such, so that an operator's edit made between the read
  // and the write-back is kept, as in the player.
  bool WriteBackDefaultA(const char* section, const char* key, const char* value,
                         const char* file) override {
    return Watch(inner_.WriteBackDefaultA(section, key, value, file));
  }
  bool refused() const { return refused_; }

 private:
  bool Watch(bool written) {
    if (!written) refused_ = true;
    return written;
  }

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
  bool help = false;
  bool version = false;
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
  if (argc == 2 && (verb == "--help" || verb == "-h")) {
    command.help = true;
    return command;
  }
  if (argc == 2 && verb == "--version") {
    command.version = true;
    return command;
  }
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

bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::path(path), error);
}

bool Print(const std::string& bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
         std::fflush(stdout) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const auto command = Parse(argc, argv);
  if (!command) return UsageError();
  if (command->help || command->version) {
    return Print(command->help ? kHelp : "afficheur-settings " VELANE_VERSION "\n") ? 0 : 1;
  }

  const auto exe = platform::RunningExecutablePath();
  if (!exe) {
    std::fprintf(stderr, "afficheur-settings: cannot find its own folder\n");
    return 1;
  }
  // The player's settings file: beside the tool, named after the player,
  // or in the content root the player is pointed at.
  const std::u16string exePath = FromAnsi(*exe);
  const platform::ContentRoot root =
      platform::ChooseContentRoot(FolderOf(exePath), platform::PlayerPlaylistBeside(exePath));
  for (const std::string& note : root.notes)
    std::fprintf(stderr, "afficheur-settings: %s\n", note.c_str());
  const std::u16string playlist = root.playlist;

  // The machine's own profile functions and, for a "$" file argument, the
  // registry the player would use there (none: the default, nothing
  // written). The player's playlist is written as the player writes it,
  // never through a link out of the content root; a file the operator
  // names is written wherever it leads: that is what was asked for.
  const auto profile = platform::MachineProfile(command->file ? u"" : root.folder);
  WatchedProfile watched(*profile);
  const auto registry = platform::SettingsRegistry();
  std::optional<WatchedRegistry> watchedRegistry;
  if (registry) watchedRegistry.emplace(*registry);
  SettingsStore store(watched, watchedRegistry ? &*watchedRegistry : nullptr, playlist);

  const auto& ops = command->operands;
  const std::u16string file = command->file ? FromAnsi(*command->file) : u"";
  const std::u16string defaultValue = ops.size() > 2 ? FromAnsi(ops[2]) : u"";
  const std::int16_t mode = command->set ? 0 : command->mode;
  const std::string shownFile = ToAnsi(file.empty() ? store.PlaylistPath() : file);
  const bool inRegistry = IsRegistryFileArgument(file);
  const bool existedBefore = inRegistry || Exists(shownFile);

  const std::u16string result =
      store.ReadSetting(FromAnsi(ops[0]), FromAnsi(ops[1]), defaultValue, file, mode);

  // A write the store was asked for (set, mode 0, or mode 2 writing a
  // default back) that did not happen is an error; so is a registry store
  // that cannot be read.
  bool failed = false;
  if (inRegistry) {
    // The key path alone on Windows; on Linux the store's database too.
    const std::string database = platform::UserRegistryPath();
    const std::string where = shownFile.substr(1) + (database.empty() ? "" : " (" + database + ")");
    if (!watchedRegistry || watchedRegistry->storeFailed()) {
      std::fprintf(stderr,
                   "afficheur-settings: the registry store cannot be used "
                   "for %s\n",
                   where.c_str());
      failed = true;
    } else if (mode == 0 && !watchedRegistry->stored()) {
      std::fprintf(stderr, "afficheur-settings: cannot write %s\n", where.c_str());
      failed = true;
    }
  } else if (watched.refused() && !command->file && platform::MachineProfileIsOurEngine() &&
             !LeadsInsideRoot(root.folder, playlist)) {
    std::fprintf(stderr,
                 "afficheur-settings: cannot write %s: it leads outside the content root "
                 "(a link), where the player writes nothing; name the file with --file to "
                 "write it there\n",
                 shownFile.c_str());
    failed = true;
  } else if (watched.refused()) {
    std::fprintf(stderr, "afficheur-settings: cannot write %s\n", shownFile.c_str());
    failed = true;
  } else if (!existedBefore && !Exists(shownFile)) {
    std::fprintf(stderr,
                 "afficheur-settings: %s does not exist: it reads as empty, "
                 "so the default is given\n",
                 shownFile.c_str());
  }
  if (!command->set && !Print(ToAnsi(result) + "\n")) return 1;
  return failed ? 1 : 0;
}
