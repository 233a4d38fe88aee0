#include "config/registry_key.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "config/ansi.h"

namespace velane {
namespace {

using platform::RegStatus;

// Enumeration buffers: allocated once per call and reused for every index.
constexpr std::uint32_t kNameBufferSize = 4096;
// The capacity SubKeyNames and SubValueNames announce to the platform.
constexpr std::uint32_t kShortNameCapacity = 512;
// Name lists count their elements in 16 bits.
constexpr std::size_t kMaxNames = 32767;

const std::u16string kGetValuesSource = u"RegistryKey.GetValues";
const std::u16string kGetValuesText = u"Unable to retrieve value names for registry key";

std::u16string Quoted(const std::u16string& name) { return u"'" + name + u"'"; }

void AddName(NameList& names, std::u16string name) {
  if (names.size() >= kMaxNames) throw Overflow("a registry name list holds at most 32767 names");
  names.push_back(std::move(name));
}

// The buffer's text up to its first NUL.
std::u16string TextUpToNul(const std::string& buffer) {
  return FromAnsi(std::string_view(buffer).substr(0, buffer.find('\0')));
}

// Lists names with `fetch(index, buffer)` until the platform reports no more
// items. Any other status, and a list that would outgrow its count, give no
// result: the failure is absorbed here.
template <class Fetch>
std::optional<NameList> NamesOrNone(Fetch&& fetch) {
  try {
    NameList names;
    std::string buffer(kNameBufferSize, ' ');
    RegStatus status = platform::kRegSuccess;
    for (std::uint32_t index = 0; status == platform::kRegSuccess; ++index) {
      status = fetch(index, buffer);
      if (status == platform::kRegSuccess) AddName(names, TextUpToNul(buffer));
    }
    if (status != platform::kRegNoMoreItems) return std::nullopt;
    return names;
  } catch (const Overflow&) {
    return std::nullopt;
  }
}

}  // namespace

RegistryError::RegistryError(std::int32_t number, std::u16string source, std::u16string description)
    : Failure(ToAnsi(source + u": " + description)),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

RegistryValue::RegistryValue(double number) {
  // Shortest text that reads back as the same number; "." whatever the
  // locale, so a stored number means the same on every machine.
  char digits[32];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  text_ = Widen(std::string(digits, end));
}

std::u16string RegistryValue::Widen(const std::string& digits) { return FromAnsi(digits); }

RegistryKey::RegistryKey(platform::Registry& registry) : registry_(registry) {}

RegistryKey::~RegistryKey() {
  try {
    CloseKey();
  } catch (...) {
    // Nobody is left to tell: the handle is given up with the object.
  }
}

bool RegistryKey::CreateKey(std::uint32_t hkeyRoot, const std::u16string& sSubkey,
                            const std::u16string& sClass, std::uint32_t lOptions,
                            std::uint32_t lRights) {
  CloseKey();
  const platform::SecurityAttributes security;  // not inheritable, no descriptor
  std::uint32_t disposition = 0;
  const RegStatus status =
      registry_.RegCreateKeyExA(hkeyRoot, ToAnsi(sSubkey).c_str(), 0, ToAnsi(sClass).c_str(),
                                lOptions, lRights, &security, &handle_, &disposition);
  if (status != platform::kRegSuccess) {
    handle_ = 0;
    return false;
  }
  return disposition == platform::kRegCreatedNewKey;
}

void RegistryKey::OpenKey(std::uint32_t hkeyRoot, const std::u16string& sSubkey,
                          std::uint32_t lRights) {
  CloseKey();
  const std::string subkey = ToAnsi(sSubkey);
  RegStatus status = registry_.RegOpenKeyExA(hkeyRoot, subkey.c_str(), 0, lRights, &handle_);
  if (status != platform::kRegSuccess) handle_ = 0;
  // Whoever asks for exactly the write rights means to write: the key is
  // created first when it is missing. Other rights never create a key.
  if (lRights == platform::kKeyWrite && status == platform::kRegNotFound) {
    CreateKey(hkeyRoot, sSubkey);
    // Only the creation mattered; the key it left open is let go quietly so
    // that the open below decides the outcome alone.
    if (handle_ != 0) registry_.RegCloseKey(handle_);
    handle_ = 0;
    status = registry_.RegOpenKeyExA(hkeyRoot, subkey.c_str(), 0, lRights, &handle_);
  }
  if (status != platform::kRegSuccess) handle_ = 0;
}

void RegistryKey::CloseKey() {
  if (handle_ == 0) return;
  const RegStatus status = registry_.RegCloseKey(handle_);
  if (status != platform::kRegSuccess)
    throw RegistryError(status, u"RegistryKey.CloseKey",
                        u"An error occurred while closing the registy key");
  handle_ = 0;
}

std::uint32_t RegistryKey::GetRegistryValueLen(const std::u16string& sName) const {
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  const RegStatus status =
      registry_.RegQueryValueExA(handle_, ToAnsi(sName).c_str(), nullptr, &type, nullptr, &size);
  if (status != platform::kRegSuccess)
    throw RegistryError(status, u"RegistryKey.GetRegistryValueLen",
                        u"An error occurred while getting the length of the registy "
                        u"value " +
                            Quoted(sName));
  return size;
}

std::u16string RegistryKey::value(const std::u16string& sName) const {
  // Both failures below ("Unable to get the length of the registy value" and
  // "An error occurred while getting the registy value", source
  // "RegistryKey.Get Value") are absorbed: the caller only sees an empty text.
  std::uint32_t length = 0;
  try {
    length = GetRegistryValueLen(sName);
  } catch (const RegistryError&) {
    // Go on with an empty buffer.
  }
  std::string buffer(length, '\0');
  std::uint32_t size = length;
  std::uint32_t type = 0;
  const RegStatus status =
      registry_.RegQueryValueExA(handle_, ToAnsi(sName).c_str(), nullptr, &type,
                                 reinterpret_cast<std::uint8_t*>(buffer.data()), &size);
  // A value that another process changed between the two queries is not
  // passed off as a text of NULs: nothing was read.
  if (status != platform::kRegSuccess) return {};
  buffer.resize(std::min(size, length));
  // The type is not looked at: the last byte goes, whatever it holds.
  if (buffer.empty()) return {};
  buffer.pop_back();
  return FromAnsi(buffer);
}

void RegistryKey::value(const std::u16string& sName, const RegistryValue& vValue) {
  const std::string text = ToAnsi(vValue.Text());
  // The size counts the terminating NUL, which c_str() provides.
  registry_.RegSetValueExA(handle_, ToAnsi(sName).c_str(), 0, platform::kRegSz,
                           reinterpret_cast<const std::uint8_t*>(text.c_str()),
                           static_cast<std::uint32_t>(text.size() + 1));
}

NameList RegistryKey::ValueNames() const {
  NameList names;
  std::string buffer(kNameBufferSize, ' ');
  RegStatus status = platform::kRegSuccess;
  for (std::uint32_t index = 0; status == platform::kRegSuccess; ++index) {
    std::uint32_t length = kNameBufferSize;
    std::uint32_t type = 0;
    status = registry_.RegEnumValueA(handle_, index, buffer.data(), &length, nullptr, &type,
                                     nullptr, nullptr);
    // The unnamed default value has a name of length 0 and is left out.
    if (status == platform::kRegSuccess && length > 0)
      AddName(names, FromAnsi(std::string_view(buffer).substr(0, length)));
  }
  if (status != platform::kRegNoMoreItems)
    throw RegistryError(status, kGetValuesSource, kGetValuesText);
  return names;
}

std::optional<NameList> RegistryKey::SubKeyNames() const {
  return NamesOrNone([&](std::uint32_t index, std::string& buffer) {
    return registry_.RegEnumKeyA(handle_, index, buffer.data(), kShortNameCapacity);
  });
}

std::optional<NameList> RegistryKey::SubValueNames() const {
  return NamesOrNone([&](std::uint32_t index, std::string& buffer) {
    std::uint32_t capacity = kShortNameCapacity;
    std::uint32_t type = 0;
    return registry_.RegEnumValueA(handle_, index, buffer.data(), &capacity, nullptr, &type,
                                   nullptr, nullptr);
  });
}

void RegistryKey::DeleteKey(std::uint32_t hkeyRoot, const std::u16string& sSubkey) {
  const RegStatus status = registry_.RegDeleteKeyA(hkeyRoot, ToAnsi(sSubkey).c_str());
  if (status != platform::kRegSuccess)
    throw RegistryError(status, u"RegistryKey.DeleteKey",
                        u"Unable to delete registry key " + Quoted(sSubkey));
}

void RegistryKey::DeleteSubKey(const std::u16string& sSubkey) {
  const RegStatus status = registry_.RegDeleteKeyA(handle_, ToAnsi(sSubkey).c_str());
  if (status != platform::kRegSuccess)
    throw RegistryError(status, u"RegistryKey.DeleteSubKey",
                        u"Unable to delete registry subkey " + Quoted(sSubkey));
}

void RegistryKey::DeleteValue(const std::u16string& sName) {
  const RegStatus status = registry_.RegDeleteValueA(handle_, ToAnsi(sName).c_str());
  if (status != platform::kRegSuccess)
    throw RegistryError(status, u"RegistryKey.DeleteValue",
                        u"Unable to delete registry value " + Quoted(sName));
}

}  // namespace velane
