#pragma once

#include <windows.h>

namespace lumora {

constexpr int RectWidth(const RECT& rect) { return rect.right - rect.left; }
constexpr int RectHeight(const RECT& rect) { return rect.bottom - rect.top; }

}  // namespace lumora
