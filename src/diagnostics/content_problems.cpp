#include "diagnostics/content_problems.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "config/ansi.h"
#include "display/slide_rules.h"

namespace velane {
namespace {

std::u16string Quoted(std::u16string_view text) { return u"\"" + std::u16string(text) + u"\""; }

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; }

std::size_t EditDistance(std::u16string_view a, std::u16string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

// Minutes since the year 0, near enough to tell one minute from the next.
long MinuteOf(const platform::LocalTime& t) {
  return ((long(t.year) * 12 + t.month) * 31 + t.day) * 1440L + t.hour * 60L + t.minute;
}

}  // namespace

std::u16string ReadOnlyPlaylistWords(const std::u16string& playlist) {
  return playlist +
         u" cannot be written (read-only, or a folder closed to this "
         u"user): the player cannot add the keys it misses nor write "
         u"their defaults back, and goes on with the defaults";
}

std::u16string PlaylistOutsideRootWords(const std::u16string& playlist) {
  return playlist +
         u" leads outside the content root (a link): the player plays it but "
         u"writes nothing there (no missing key added, no default written back), "
         u"and goes on with the defaults";
}

ContentFileProblem UnwrittenPlaylistWords(const std::u16string& root,
                                          const std::u16string& playlist) {
  if (!LeadsInsideRoot(root, playlist))
    return {kPlaylistOutsideRootCode, PlaylistOutsideRootWords(playlist)};
  return {kReadOnlyPlaylistCode, ReadOnlyPlaylistWords(playlist)};
}

std::u16string MissingSlideFolderWords(const std::u16string& folder) {
  return folder +
         u" does not exist: the composed page cannot be written, and "
         u"the browser shows its error page (or an older page)";
}

std::u16string OutsideRootWords(const std::u16string& path, const std::u16string& blankWhat) {
  return path +
         u" leads outside the content root (through \"..\", a full path or a "
         u"link): the player shows no file from there; " +
         blankWhat;
}

std::u16string LinkedPageWords(const std::u16string& page) {
  return page +
         u" is a link: the player writes no composed page through it "
         u"(it could point anywhere), so the browser shows whatever the "
         u"link leads to, or its error page";
}

std::u16string UnwritablePageWords(const std::u16string& page) {
  return page +
         u" cannot be written (a folder in its place, or no write "
         u"permission for this user): the browser shows an older page "
         u"or its error page";
}

std::u16string WrongTypeWords(const std::u16string& type) {
  if (type.empty())
    return u"\"Type\" is empty: the page will be blank (the types are " + SlideTypeNames(u"and") +
           u")";
  std::u16string message = u"\"Type\" is " + Quoted(type) + u", not exactly " +
                           SlideTypeNames(u"or") + u" (letter case counts): the page will be blank";
  if (const auto near = NearestType(type)) message += u"; did you mean " + Quoted(*near) + u"?";
  return message;
}

std::u16string BlankTemplateWords(const std::u16string& typeKey) {
  return u"every \"" + typeKey + u"\" slide will be blank";
}

ContentFileProblem UnwrittenPageWords(const std::u16string& folder, const std::u16string& page) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!fs::is_directory(fs::path(ToAnsi(folder)), error))
    return {kMissingFolderCode, MissingSlideFolderWords(folder)};
  if (fs::is_symlink(fs::symlink_status(fs::path(ToAnsi(page)), error)))
    return {kUnwritablePageCode, LinkedPageWords(page)};
  return {kUnwritablePageCode, UnwritablePageWords(page)};
}

ContentFileState StateOfContentFile(const std::u16string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(std::filesystem::path(ToAnsi(path)), error);
  if (error || !std::filesystem::exists(status)) return ContentFileState::kMissing;
  if (std::filesystem::is_directory(status)) return ContentFileState::kFolder;
  if (!std::filesystem::is_regular_file(status)) return ContentFileState::kNotPlain;
  return ContentFileState::kEmpty;
}

ContentFileProblem EmptyContentWords(ContentFileState state, const std::u16string& path,
                                     std::string_view missingCode,
                                     const std::u16string& blankWhat) {
  switch (state) {
    case ContentFileState::kMissing:
      return {std::string(missingCode), path + u" does not exist: " + blankWhat};
    case ContentFileState::kFolder:
      return {"blank-page", path + u" is a folder, not a file: " + blankWhat};
    case ContentFileState::kNotPlain:
      return {"not-a-file", path +
                                u" is not a plain file (a pipe or a device): reading it "
                                u"may hold the player up, and gives " +
                                blankWhat};
    case ContentFileState::kEmpty:
      break;
  }
  return {"blank-page", path + u" is empty or cannot be read: " + blankWhat};
}

std::optional<std::u16string_view> NearestType(std::u16string_view type) {
  std::u16string lowered(type);
  for (char16_t& c : lowered) c = AsciiLower(c);
  std::optional<std::u16string_view> best;
  std::size_t bestDistance = 3;
  for (const SlideType& type : kSlideTypes) {
    const std::u16string_view known = type.name;
    const std::size_t d = EditDistance(lowered, known);
    if (d < bestDistance && d < known.size()) {
      best = known;
      bestDistance = d;
    }
  }
  return best;
}

std::optional<std::string> ProblemReports::Report(const std::string& subject,
                                                  const std::string& line,
                                                  const platform::LocalTime& now) {
  const auto told = told_.find(subject);
  if (told != told_.end() && told->second == line) return std::nullopt;
  const long minute = MinuteOf(now);
  if (minute != minute_) {
    minute_ = minute;
    linesThisMinute_ = 0;
  }
  // Not recorded when held back: it is told when next met.
  if (linesThisMinute_ > kLinesPerMinute) return std::nullopt;
  if (linesThisMinute_++ == kLinesPerMinute)
    return "more problems than this minute's lines can tell; afficheur-check "
           "lists them all";
  told_[subject] = line;
  return line;
}

}  // namespace velane
