#include "controls/reg_ini_file.h"

#include <climits>
#include <vector>

namespace lumora {

std::optional<int> ParseDecimalInteger(std::wstring_view text) {
  auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
  size_t i = 0;
  size_t end = text.size();
  while (i < end && blank(text[i])) ++i;
  while (end > i && blank(text[end - 1])) --end;
  bool negative = false;
  if (i < end && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  if (i == end) return std::nullopt;
  long long value = 0;
  for (; i < end; ++i) {
    if (text[i] < L'0' || text[i] > L'9') return std::nullopt;
    value = value * 10 + (text[i] - L'0');
    if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value < INT_MIN || value > INT_MAX) return std::nullopt;
  return static_cast<int>(value);
}

TRegIniFile::TRegIniFile(const std::wstring& keyPath) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    key_ = key;
  }
}

TRegIniFile::~TRegIniFile() {
  if (key_) RegCloseKey(key_);
}

std::optional<std::wstring> TRegIniFile::ReadString(const std::wstring& name) const {
  if (!key_) return std::nullopt;
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(key_, name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
  DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  buffer.back() = L'\0';  // stored strings need not be terminated
  return std::wstring(buffer.data());
}

std::wstring TRegIniFile::ReadString(const std::wstring& name, const std::wstring& defaultValue) const {
  return ReadString(name).value_or(defaultValue);
}

int TRegIniFile::ReadInteger(const std::wstring& name, int defaultValue) const {
  std::optional<std::wstring> text = ReadString(name);
  if (!text) return defaultValue;
  return ParseDecimalInteger(*text).value_or(defaultValue);
}

bool TRegIniFile::ReadBool(const std::wstring& name, bool defaultValue) const {
  return ReadInteger(name, defaultValue ? 1 : 0) != 0;
}

bool TRegIniFile::WriteString(const std::wstring& name, const std::wstring& value) {
  if (!key_) return false;
  return RegSetValueExW(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool TRegIniFile::WriteInteger(const std::wstring& name, int value) {
  return WriteString(name, std::to_wstring(value));
}

bool TRegIniFile::WriteBool(const std::wstring& name, bool value) { return WriteString(name, value ? L"1" : L"0"); }

}  // namespace lumora
