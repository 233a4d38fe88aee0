// What can keep a slide from the screen, in the words that both the
// playlist checker (in its report) and the running player (on stderr)
// use, and how the player tells them while it runs.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace velane {

// Stable codes, as the checker's report names them.
inline constexpr char kReadOnlyPlaylistCode[] = "read-only-playlist";
inline constexpr char kMissingFolderCode[] = "missing-folder";
inline constexpr char kUnwritablePageCode[] = "unwritable-page";
inline constexpr char kMissingTemplateCode[] = "missing-template";
inline constexpr char kMissingPageCode[] = "missing-page";
inline constexpr char kWrongTypeCode[] = "wrong-type";
inline constexpr char kOutsideRootCode[] = "outside-root";
inline constexpr char kPlaylistOutsideRootCode[] = "playlist-outside-root";

// A problem's code and message.
struct ContentFileProblem {
  std::string code;
  std::u16string message;
};

// The messages; paths are given as the reader should see them.
std::u16string ReadOnlyPlaylistWords(const std::u16string& playlist);
// A playlist that is a link out of the content root: read, never written.
std::u16string PlaylistOutsideRootWords(const std::u16string& playlist);
std::u16string MissingSlideFolderWords(const std::u16string& folder);
std::u16string LinkedPageWords(const std::u16string& page);
// A slide page, template or picture that leads outside the content root
// (through "..", a full path or a link), and what that does.
std::u16string OutsideRootWords(const std::u16string& path, const std::u16string& blankWhat);
std::u16string UnwritablePageWords(const std::u16string& page);
// "Type" as read: empty, or none of "image", "html" and "url" (with the
// known type it was most likely meant to be).
std::u16string WrongTypeWords(const std::u16string& type);
// What an empty template does: every slide of that type is blank.
std::u16string BlankTemplateWords(const std::u16string& typeKey);

// Why the composed page at page, in the slide folder folder, could not be
// written: the folder is missing, the page is a link, or it is closed.
ContentFileProblem UnwrittenPageWords(const std::u16string& folder, const std::u16string& page);

// Why the playlist at `playlist`, in the content root `root`, took no
// write: it leads outside the root, or it is closed to this user.
ContentFileProblem UnwrittenPlaylistWords(const std::u16string& root,
                                          const std::u16string& playlist);

// Why a template or slide page read as empty, from what stands at its path.
enum class ContentFileState { kMissing, kFolder, kNotPlain, kEmpty };
ContentFileState StateOfContentFile(const std::u16string& path);
ContentFileProblem EmptyContentWords(ContentFileState state, const std::u16string& path,
                                     std::string_view missingCode, const std::u16string& blankWhat);

// The known type a mistyped one was most likely meant to be: same letters
// in another case, or at most two letters off.
std::optional<std::u16string_view> NearestType(std::u16string_view type);

// Problems met while the player runs: each told once while it stays as it
// is, again when it changes or comes back after it was put right, and
// never more than a few lines a minute, so that a playlist with a problem
// on every slide cannot flood the journal (what does not fit is told the
// next time the player meets it).
class ProblemReports {
 public:
  static constexpr int kLinesPerMinute = 4;

  // The line to print for the problem about this subject (a section's
  // page, its type, a template...), or nothing when it has been told
  // already or this minute's lines are used up (then, once, a line that
  // says so).
  std::optional<std::string> Report(const std::string& subject, const std::string& line,
                                    const platform::LocalTime& now);
  // The subject has no problem any more.
  void Clear(const std::string& subject) {
    told_.erase(subject);
    current_.erase(subject);
  }

  // Every problem met and not put right since, told or held back: what the
  // screen's status lists.
  struct Current {
    std::string code;
    std::u16string place;
    std::u16string message;
  };
  void Hold(const std::string& subject, Current problem) { current_[subject] = std::move(problem); }
  const std::map<std::string, Current>& current() const { return current_; }

 private:
  std::map<std::string, std::string> told_;  // subject -> line told
  std::map<std::string, Current> current_;   // subject -> its problem
  long minute_ = -1;
  int linesThisMinute_ = 0;
};

}  // namespace velane
