// Where the user's registry database lives, after the XDG base-directory
// rules, and the creation of its folder.
#pragma once

#include <string>

namespace velane::platform::sqlite {

// $XDG_DATA_HOME when it is set to an absolute path, else the home folder's
// ".local/share"; empty when neither can be found.
std::string UserDataHome();

// Creates the folder and any missing parents, each new one readable by its
// owner only. False when the folder is not there afterwards.
bool MakePrivateFolders(const std::string& path);

}  // namespace velane::platform::sqlite
