// The INI reader and writer on any bytes: a file text, a section, a key and
// a value taken from the input. What is written reads back as written, a
// write leaves every other setting as it was, the section index finds what
// the walk from the start finds, and the file functions give the same
// answers as the text rules.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/posix/ini_profile.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken rule: %s\n", what);
    std::abort();
  }
}

// The setting as a read gives it: the cleaned value, or nothing.
std::optional<std::string> ReadBack(std::string_view text, std::string_view section,
                                    std::string_view key) {
  const auto found = velane::FindIniSection(text, section, key);
  if (!found || !found->key) return std::nullopt;
  return std::string(velane::CleanIniValue(found->key->value));
}

// A name as the platform buffers pass it: up to its first NUL.
std::string UpToNul(std::string s) { return s.substr(0, s.find('\0')); }

// One file per fuzzing process, in the temporary folder.
const std::string& ScratchFile() {
  static const std::string path = "/tmp/velane-fuzz-ini-" + std::to_string(::getpid()) + ".ini";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string section = UpToNul(in.ConsumeRandomLengthString(40));
  const std::string key = UpToNul(in.ConsumeRandomLengthString(40));
  const std::string otherSection = UpToNul(in.ConsumeRandomLengthString(40));
  const std::string otherKey = UpToNul(in.ConsumeRandomLengthString(40));
  const std::string value = in.ConsumeRandomLengthString(80);
  const std::string text = in.ConsumeRemainingBytesAsString();

  const auto before = ReadBack(text, otherSection, otherKey);
  const auto written = velane::WithIniValue(text, section, key, value);
  if (written) {
    const auto back = ReadBack(*written, section, key);
    Check(back.has_value(), "a written key is found");
    Check(*back == velane::CleanIniValue(value), "a written value reads back");
    // Another setting keeps its value, unless it is the same one.
    const auto same = velane::WithIniValue("", otherSection, otherKey, "x");
    const bool sameSetting = same && ReadBack(*same, section, key).has_value();
    if (!sameSetting)
      Check(ReadBack(*written, otherSection, otherKey) == before,
            "a write leaves the other settings alone");
  }

  // The index of the sections answers as the walk does.
  {
    const auto walked = velane::FindIniSection(text, section, key);
    const auto indexed = velane::IniSectionIndex(text).Find(section, key);
    Check(walked.has_value() == indexed.has_value(), "the index finds the same section");
    if (walked) {
      Check(walked->headerEnd == indexed->headerEnd && walked->end == indexed->end &&
                walked->lastFilled == indexed->lastFilled,
            "the index gives the same extent");
      Check(walked->key.has_value() == indexed->key.has_value() &&
                (!walked->key || walked->key->value == indexed->key->value),
            "the index gives the same key");
    }
  }

  // The file functions agree with the text rules.
  const std::string& file = ScratchFile();
  if (std::FILE* f = std::fopen(file.c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    velane::IniProfile ini;
    std::string out;
    const std::uint32_t n = ini.GetPrivateProfileStringA(section.c_str(), key.c_str(),
                                                         "\x01"
                                                         "default",
                                                         out, 590, file.c_str());
    Check(n == out.size() && n <= 589, "the read reports what it copied");
    const auto expected = ReadBack(text, section, key);
    if (expected)
      Check(out == expected->substr(0, 589), "the file read gives the text rule's value");
    else
      Check(out ==
                "\x01"
                "default",
            "a missing key gives the default");
    std::remove(file.c_str());
  }
  return 0;
}
