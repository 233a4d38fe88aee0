#include "platform/content_root.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "config/ansi.h"

namespace velane::platform {
namespace {

#ifdef _WIN32
constexpr char kSeparators[] = "\\/";
constexpr char16_t kSeparator = u'\\';
#else
constexpr char kSeparators[] = "/";
constexpr char16_t kSeparator = u'/';
#endif

// Whether this user may create files in the folder. Windows folder rights
// are not read (that would take the security API): the writes tell.
bool MayWriteIn(const std::string& folder) {
#ifdef _WIN32
  (void)folder;
  return true;
#else
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
#endif
}

}  // namespace

ContentRoot ChooseContentRoot(const std::u16string& executableFolder,
                              const std::u16string& besidePlaylist) {
  ContentRoot root{executableFolder, besidePlaylist, false, {}};
  const char* value = std::getenv(kContentRootVariable);
  if (value == nullptr || *value == '\0') return root;

  std::string folder = value;
  const std::string named = std::string(kContentRootVariable) + " is \"" + folder + "\"";
  if (!std::filesystem::path(folder).is_absolute()) {
    root.notes.push_back(named +
                         ", a relative path (it would change with the folder the "
                         "program is started from): ignored; the content root stays " +
                         ToAnsi(executableFolder));
    return root;
  }
  while (folder.size() > 1 && folder.find_last_of(kSeparators) == folder.size() - 1)
    folder.pop_back();
  root.folder = FromAnsi(folder);
  root.playlist = root.folder + kSeparator + kPlaylistName;
  root.fromVariable = true;

  std::error_code error;
  const auto status = std::filesystem::status(std::filesystem::path(folder), error);
  if (!std::filesystem::exists(status)) {
    root.notes.push_back(named + ", which does not exist: nothing can be read or "
                                 "written there until it is created");
  } else if (!std::filesystem::is_directory(status)) {
    root.notes.push_back(named + ", which is not a folder: nothing can be read or "
                                 "written there");
  } else if (!MayWriteIn(folder)) {
    root.notes.push_back(named + ", which this user cannot write: the player can "
                                 "neither fill in missing settings nor write its "
                                 "composed pages there (is the user in the "
                                 "folder's group?)");
  }
  return root;
}

}  // namespace velane::platform
