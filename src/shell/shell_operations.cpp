#include "shell/shell_operations.h"

#include <shellapi.h>

#include <cmath>
#include <new>

namespace lumora {
namespace {

std::wstring_view FileNamePart(std::wstring_view path) {
  const std::size_t separator = path.find_last_of(L"\\/:");
  return separator == std::wstring_view::npos ? path : path.substr(separator + 1);
}

// The shell reads both lists as names ended by a zero each and the whole list
// by an empty name.
void AppendListEntry(std::wstring& list, std::wstring_view name) {
  list.append(name);
  list.push_back(L'\0');
}

void SendMouseButton(DWORD flag, LONG dx, LONG dy) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = dx;
  input.mi.dy = dy;
  input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | flag;
  SendInput(1, &input, sizeof input);
}

}  // namespace

bool ShellFileOperation(HWND owner, std::span<const std::wstring> paths, std::wstring_view destinationFolder,
                        UINT operation) {
  if (paths.empty()) return false;
  std::wstring folder(destinationFolder);
  if (folder.empty() || folder.back() != L'\\') folder.push_back(L'\\');
  std::wstring from;
  std::wstring to;
  try {
    for (const std::wstring& path : paths) {
      // An empty or cut name would end the list early and the files after it
      // would silently stay untouched.
      if (path.empty() || path.find(L'\0') != std::wstring::npos) return false;
      AppendListEntry(from, path);
      AppendListEntry(to, folder + std::wstring(FileNamePart(path)));
    }
    from.push_back(L'\0');
    to.push_back(L'\0');
  } catch (const std::bad_alloc&) {
    return false;
  }
  SHFILEOPSTRUCTW operationInfo{};
  operationInfo.hwnd = owner;
  operationInfo.wFunc = operation;
  operationInfo.pFrom = from.c_str();
  operationInfo.pTo = to.c_str();
  operationInfo.fFlags = FOF_MULTIDESTFILES | FOF_ALLOWUNDO | FOF_FILESONLY | FOF_NOCONFIRMMKDIR;
  return SHFileOperationW(&operationInfo) == 0 && !operationInfo.fAnyOperationsAborted;
}

void ShowFileProperties(std::wstring_view path) {
  const std::wstring file(path);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_INVOKEIDLIST;
  info.lpVerb = L"properties";
  info.lpFile = file.c_str();
  ShellExecuteExW(&info);
}

void SimulateMouseClick(POINT screenPoint, MouseButton button) {
  DWORD down = 0;
  DWORD up = 0;
  switch (button) {
    case MouseButton::Left:
      down = MOUSEEVENTF_LEFTDOWN;
      up = MOUSEEVENTF_LEFTUP;
      break;
    case MouseButton::Right:
      down = MOUSEEVENTF_RIGHTDOWN;
      up = MOUSEEVENTF_RIGHTUP;
      break;
    default:
      return;
  }
  // Absolute coordinates run from 0 to 65535 across the primary screen.
  const LONG dx = std::lround(65535.0 / GetSystemMetrics(SM_CXSCREEN) * screenPoint.x);
  const LONG dy = std::lround(65535.0 / GetSystemMetrics(SM_CYSCREEN) * screenPoint.y);
  SendMouseButton(down, dx, dy);
  Sleep(50);
  SendMouseButton(up, dx, dy);
}

}  // namespace lumora
