// The two informative switches of the player, answered before any window
// opens. Any other argument text goes to the start-up sequence unchanged
// (where only "RUNTIME" means something).
#pragma once

#include <optional>
#include <string>

// The end of every program's --help option list: the two informative
// switches and the environment.
#define VELANE_HELP_STANDARD_OPTIONS                                      \
  "  --help     print this help and exit\n"                               \
  "  --version  print the version and exit\n"                             \
  "\n"                                                                    \
  "Environment:\n"                                                        \
  "  VELANE_CONTENT_ROOT  a folder used as content root instead of the\n" \
  "                       executable's folder\n"

namespace velane {

// The text to print for an argument text of exactly "--help" or
// "--version"; nullopt for every other argument text.
std::optional<std::string> PlayerInformation(const std::u16string& argumentText);

}  // namespace velane
