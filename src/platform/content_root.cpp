#include "platform/content_root.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "config/ansi.h"
#include "config/settings.h"
#include "platform/files.h"

namespace velane::platform {
namespace {

// Whether the path (in the code page) ends in one of this platform's
// separators, all of them ASCII.
bool EndsInSeparator(const std::string& path) {
  if (path.empty()) return false;
  const char16_t last = static_cast<unsigned char>(path.back());
  return std::u16string_view(kPathSeparators).find(last) != std::u16string_view::npos;
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
  while (folder.size() > 1 && EndsInSeparator(folder)) folder.pop_back();
  root.folder = FromAnsi(folder);
  root.playlist = root.folder + kPathSeparator + kPlaylistName;
  root.fromVariable = true;

  std::error_code error;
  const auto status = std::filesystem::status(std::filesystem::path(folder), error);
  if (!std::filesystem::exists(status)) {
    root.notes.push_back(named +
                         ", which does not exist: nothing can be read or "
                         "written there until it is created");
  } else if (!std::filesystem::is_directory(status)) {
    root.notes.push_back(named +
                         ", which is not a folder: nothing can be read or "
                         "written there");
  } else if (!MayCreateIn(folder)) {
    root.notes.push_back(named +
                         ", which this user cannot write: the player can "
                         "neither fill in missing settings nor write its "
                         "composed pages there (is the user in the "
                         "folder's group?)");
  }
  return root;
}

std::u16string PlayerPlaylistBeside(const std::u16string& executablePath) {
  return FolderOf(executablePath) + kPathSeparator + kPlaylistName;
}

}  // namespace velane::platform
