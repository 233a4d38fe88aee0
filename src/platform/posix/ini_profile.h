// Our own profile (INI) functions on POSIX files, with the reading and
// writing rules of the platform's GetPrivateProfileStringA /
// WritePrivateProfileStringA (the text rules of config/ini.h), so that
// playlist files written for the Windows player read the same here.
//
// Writes keep every line they do not change byte for byte, and replace the
// file atomically (temporary file in the same folder, flushed to disk, then
// renamed over the original with its permissions), so a kill or a power cut
// never leaves a half-written playlist behind. Writers take a record lock on
// the file, so that two writers (the player, an operator's tool) never undo
// each other's change.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "config/ini.h"
#include "platform/profile.h"

namespace velane {

class IniProfile : public platform::ProfileStrings {
 public:
  IniProfile() = default;
  // Writes stay in this folder (in the code page): a file whose real place
  // is elsewhere, through a link or its folder, is still read but never
  // written (the write is refused). A link that leads to a file inside the
  // folder is written through. Empty: written wherever the file leads.
  explicit IniProfile(std::string writeRoot) : writeRoot_(std::move(writeRoot)) {}
  void ConfineWritesTo(std::string writeRoot) { writeRoot_ = std::move(writeRoot); }

  // A missing, unreadable or non-regular file (a folder, a pipe) reads as
  // empty. Null section or key (the platform's listing forms) are not
  // supported and read as missing. Never creates a file.
  std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* defaultValue, std::string& out,
                                         std::uint32_t size, const char* file) override;

  // Refused (false, nothing changed) for null arguments (the platform's
  // deletion forms are not supported), texts that would not read back, a
  // file that cannot be read first, a read-only file (no write permission
  // bit at all, as the platform's read-only attribute), a missing folder or
  // one where no temporary file can be made. A write that would leave the
  // file byte for byte as it is does not touch the disk.
  bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                  const char* file) override;

  // Decided under the same lock, on the file as it is then: writes only
  // when the key is missing, or reads as empty or as the value itself;
  // otherwise it leaves the file alone and reports success (the key holds
  // a value someone wrote since the caller's read).
  bool WriteBackDefaultA(const char* section, const char* key, const char* value,
                         const char* file) override;

 private:
  std::string writeRoot_;
};

}  // namespace velane
