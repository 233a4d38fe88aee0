// VELANE_Afficheur --preview OUT.png [CONTENT_ROOT]: every slide of the
// chain composed as the player composes it and rendered by the real engine
// at the display area's size, off screen, into one contact sheet. Nothing
// is written into the content root (the pages are composed in a temporary
// folder) and the playlist is only read.
#pragma once

#include <optional>
#include <string>

namespace velane::gtk {

class GtkToolkit;

// The preview's own arguments after "--preview", or nothing when the
// command line does not ask for one.
struct PreviewRequest {
  std::string output;
  std::optional<std::string> root;
};
std::optional<PreviewRequest> PreviewArguments(int argc, char** argv, std::string& error);

// Renders the sheet; the exit status (0 written, 1 not). The toolkit is
// open on a display.
int RunPreview(GtkToolkit& toolkit, const PreviewRequest& request);

}  // namespace velane::gtk
