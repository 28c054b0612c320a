// TRegIniFile: settings kept as string values of one registry key under
// HKEY_CURRENT_USER, read and written like an ini file.
//
// Every value is stored as text (REG_SZ): integers in decimal, Booleans as
// "0" and "1". Reading a value that is missing, not a string, or not a
// decimal integer where one is wanted gives the caller's default.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace lumora {

// A whole decimal integer with an optional sign and optional surrounding
// blanks, within the 32-bit range; nothing otherwise.
std::optional<int> ParseDecimalInteger(std::wstring_view text);

class TRegIniFile {
 public:
  // Opens the key, creating it when missing. A key that cannot be opened
  // reads as empty and ignores writes.
  explicit TRegIniFile(const std::wstring& keyPath);
  ~TRegIniFile();
  TRegIniFile(const TRegIniFile&) = delete;
  TRegIniFile& operator=(const TRegIniFile&) = delete;

  bool IsOpen() const { return key_ != nullptr; }

  std::optional<std::wstring> ReadString(const std::wstring& name) const;
  std::wstring ReadString(const std::wstring& name, const std::wstring& defaultValue) const;
  int ReadInteger(const std::wstring& name, int defaultValue) const;
  // True for any non-zero integer.
  bool ReadBool(const std::wstring& name, bool defaultValue) const;

  // Return false when the value could not be written.
  bool WriteString(const std::wstring& name, const std::wstring& value);
  bool WriteInteger(const std::wstring& name, int value);
  bool WriteBool(const std::wstring& name, bool value);

 private:
  HKEY key_ = nullptr;  // owned
};

}  // namespace lumora
