// RegistryKey wraps one open registry key: it creates or opens a key and
// holds its handle, reads and writes values of that key as text, lists its
// value and subkey names, deletes keys and values, and closes the key when it
// is destroyed. Failures reach the caller as RegistryError, except where an
// operation absorbs them (see each one).
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/failure.h"
#include "platform/registry.h"

namespace velane {

// A failing registry operation: the platform's status, the operation that
// failed, and what it was doing.
class RegistryError : public Failure {
 public:
  RegistryError(std::int32_t number, std::u16string source, std::u16string description);
  std::int32_t Number() const { return number_; }
  const std::u16string& Source() const { return source_; }
  const std::u16string& Description() const { return description_; }

 private:
  std::int32_t number_;
  std::u16string source_;
  std::u16string description_;
};

// A value that has a text form: a text, or a number (written in decimal,
// "." before any decimals). The constructors are implicit on purpose: a text
// or a number is passed as it is.
class RegistryValue {
 public:
  RegistryValue(std::u16string text) : text_(std::move(text)) {}
  RegistryValue(const char16_t* text) : text_(text != nullptr ? text : u"") {}
  template <std::integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char16_t> && !std::same_as<T, char>)
      RegistryValue(T number)
      : text_(Widen(std::to_string(number))) {}
  RegistryValue(double number);

  const std::u16string& Text() const { return text_; }

 private:
  static std::u16string Widen(const std::string& digits);
  std::u16string text_;
};

// A list of names, in the platform's enumeration order.
using NameList = std::vector<std::u16string>;

class RegistryKey {
 public:
  explicit RegistryKey(platform::Registry& registry);
  // Closes the held key; a failing close cannot be passed on from here and
  // is dropped.
  ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Creates the key (and its missing parents) or opens it when it exists.
  // True only when a new key was created; the key is held in both cases.
  // A refused creation leaves no key held and raises nothing.
  bool CreateKey(std::uint32_t hkeyRoot, const std::u16string& sSubkey,
                 const std::u16string& sClass = u"", std::uint32_t lOptions = 0,
                 std::uint32_t lRights = platform::kKeyAllAccess);
  // Opens the key; with exactly the write rights a missing key is created
  // first. A refused open shows only as handle() == 0.
  void OpenKey(std::uint32_t hkeyRoot, const std::u16string& sSubkey, std::uint32_t lRights);
  void CloseKey();
  std::uint32_t handle() const { return handle_; }

  // The value's data bytes as text, less the last byte (the NUL of a stored
  // text), whatever its type. Empty when the value is missing, empty or
  // unreadable, or no key is held: failures are absorbed.
  std::u16string value(const std::u16string& sName) const;
  // Stores the value's text form as a string value. A refused write (no key
  // held, no access) raises nothing.
  void value(const std::u16string& sName, const RegistryValue& vValue);

  // The named values (the unnamed default value left out).
  NameList ValueNames() const;
  // No result (not an empty list) when the enumeration fails.
  std::optional<NameList> SubKeyNames() const;
  // Every value name, the unnamed default value as an empty text.
  std::optional<NameList> SubValueNames() const;

  // Deletes sSubkey under hkeyRoot (not under the held key).
  void DeleteKey(std::uint32_t hkeyRoot, const std::u16string& sSubkey);
  void DeleteSubKey(const std::u16string& sSubkey);
  void DeleteValue(const std::u16string& sName);

 private:
  std::uint32_t GetRegistryValueLen(const std::u16string& sName) const;

  platform::Registry& registry_;
  std::uint32_t handle_ = 0;
};

}  // namespace velane
