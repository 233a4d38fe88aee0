// Replacing a file whole on POSIX: the new bytes go to a temporary file in
// the same folder, which is then renamed over the old file. A reader (the
// web engine of another screen, a sync tool, an editor) opens either the old
// file or the new one, never a part of either; a kill in the middle leaves
// the old file as it was.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace velane::posix {

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();
  int get() const { return fd_; }
  // Closes the one held and holds fd.
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  // Lets go of it without closing it.
  void Release() { fd_ = -1; }
  // Closes now and reports a failed close (a late write error).
  bool Close();

 private:
  int fd_;
};

// Writes every byte, going on after interruptions.
bool WriteAll(int fd, std::string_view bytes);

// The folder at this path, opened for the *at calls (and a flush); -1
// when it cannot be.
int OpenFolder(const std::string& folder);

// The new version of a file, written beside it. Removed when this goes
// unless it has been renamed into place.
class FileReplacement {
 public:
  FileReplacement() = default;
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;
  ~FileReplacement();

  // Creates the temporary file, hidden, in `folder` (the folder of the file
  // `base` it will replace), with 0666 less the umask as any new file.
  // False when the folder takes no new file.
  bool Create(const std::string& folder, const std::string& base);
  // The same in the folder already open as `folderFd` (kept open by this
  // object): the file and its rename stay in that very folder, whatever
  // its path leads to meanwhile.
  bool CreateIn(int folderFd, const std::string& base);
  int fd() const { return fd_.get(); }

  // Gives it the permissions of the file it replaces, and its owner where
  // we may (root), else at least its group (a fleet's shared group).
  void KeepAttributesOf(const struct stat& old);

  // Writes the bytes and closes; `durable`: flushed to the disk first, so
  // that a power cut after the rename finds the new bytes.
  bool WriteAndClose(std::string_view bytes, bool durable);

  // Renames it over the file named `base` in its folder; `durable`: the
  // folder's entry is flushed too.
  bool RenameOver(const std::string& base, bool durable);

 private:
  UniqueFd folder_;
  UniqueFd fd_;
  std::string name_;  // in the folder; empty once renamed
};

}  // namespace velane::posix
