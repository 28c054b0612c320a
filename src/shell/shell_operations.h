#pragma once
// Shell operations on files and synthetic input.

#include <windows.h>

#include <span>
#include <string>
#include <string_view>

namespace lumora {

// Runs a shell file operation (FO_DELETE, FO_COPY, FO_MOVE, FO_RENAME) on
// paths, each going to destinationFolder + its file name, with undo (the
// recycle bin for a delete) and the shell's own confirmation, progress and
// error dialogs. True only when the shell ran the whole operation and the
// user aborted nothing; an empty list, or one holding an empty path, is
// refused with false.
bool ShellFileOperation(HWND owner, std::span<const std::wstring> paths, std::wstring_view destinationFolder,
                        UINT operation);

// Opens the shell's properties sheet of the file and returns at once.
void ShowFileProperties(std::wstring_view path);

enum class MouseButton : unsigned char { Left = 0, Right = 1 };

// Presses and, 50 ms later, releases the button wherever the pointer is;
// point (screen pixels) only goes into the event's coordinates, the pointer
// does not move, so callers pass its current position. Values other than
// Left and Right send nothing.
void SimulateMouseClick(POINT screenPoint, MouseButton button);

}  // namespace lumora
