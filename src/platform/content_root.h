// Where the player and its two tools find their content: beside the
// executable (a portable copy), or in the folder that the environment
// variable VELANE_CONTENT_ROOT names (an installed package, whose programs
// live apart from the content they show).
#pragma once

#include <string>
#include <vector>

#include "velane_version.h"

namespace velane::platform {

inline constexpr char kContentRootVariable[] = "VELANE_CONTENT_ROOT";
// The playlist settings file's name in a root named by the variable.
inline constexpr char16_t kPlaylistName[] = u"" VELANE_PLAYER_NAME ".ini";

struct ContentRoot {
  std::u16string folder;    // without a trailing separator
  std::u16string playlist;  // the playlist settings file
  bool fromVariable = false;
  // What the operator must be told about the choice, one line each.
  std::vector<std::string> notes;
};

// The folder that VELANE_CONTENT_ROOT names, with "VELANE_Afficheur.ini" in
// it, when the variable is set and not empty; otherwise executableFolder
// with besidePlaylist. A relative path is refused (it would change with the
// folder the program is started from): the executable's folder is used,
// and a note says so. A folder that does not exist, is no folder or cannot
// be written by this user is kept, with a note: the programs go on with it
// and report what they cannot do.
ContentRoot ChooseContentRoot(const std::u16string& executableFolder,
                              const std::u16string& besidePlaylist);

// The playlist settings file of the player installed in the same folder as
// the executable at this path (a tool's).
std::u16string PlayerPlaylistBeside(const std::u16string& executablePath);

}  // namespace velane::platform
