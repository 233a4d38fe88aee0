#include "diagnostics/command_line.h"

#include "velane_version.h"

namespace velane {
namespace {

constexpr const char* kHelp =
    VELANE_PLAYER_NAME " " VELANE_VERSION
                       ": full-screen display player for a public screen.\n"
                       "\n"
                       "usage: VELANE_Afficheur [RUNTIME]\n"
                       "       VELANE_Afficheur --preview OUT.png [CONTENT_ROOT]\n"
                       "       VELANE_Afficheur --help | --version\n"
                       "\n"
                       "Shows, for ever, the chain of slides written in VELANE_Afficheur.ini in\n"
                       "its own folder (the content root): [section 0] names the first slide,\n"
                       "each slide's \"section suivante\" the next one, \"delais secondes\" how\n"
                       "long it stays (d seconds show for d + 1 ticks of one second). The mouse\n"
                       "pointer hides when the mouse rests; when it moves, a small \"Quitter\"\n"
                       "window appears, whose button ends the player. Every night at 03:00 the\n"
                       "player asks the machine to restart (\"shutdown -r\") and ends.\n"
                       "\n"
                       "  --preview  draw every slide of the chain, off screen, into the\n"
                       "             picture OUT.png, each labelled (blank ones with the\n"
                       "             reason), and end; needs a display connection, writes\n"
                       "             nothing into the content root (not on Windows)\n"
                       "  RUNTIME    keep the trace window hidden (for a kiosk); the argument\n"
                       "             must be exactly this word: any other argument shows the\n"
                       "             trace window (one line per slide, one dot per "
                       "second)\n" VELANE_HELP_STANDARD_OPTIONS
                       "\n"
                       "The screen's status goes to etat/ in the content root, or to the\n"
                       "folder VELANE_STATUS_DIR names, under the host name or the name\n"
                       "VELANE_SCREEN_NAME gives; afficheur-check --status reads it.\n"
                       "\n"
                       "Exit status: 0 when ended by the quit button or the nightly restart (and\n"
                       "after --help or --version); 1 when no window can be opened.\n"
                       "Check a playlist before showing it with afficheur-check.\n"
                       "\n"
                       "Example:\n"
                       "  ./VELANE_Afficheur RUNTIME\n";

}  // namespace

std::optional<std::string> PlayerInformation(const std::u16string& argumentText) {
  if (argumentText == u"--help") return std::string(kHelp);
  if (argumentText == u"--version") return std::string(VELANE_PLAYER_NAME " " VELANE_VERSION "\n");
  return std::nullopt;
}

}  // namespace velane
