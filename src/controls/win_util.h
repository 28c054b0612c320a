// Small Windows helpers of the controls layer: solid fills and text
// conversion between our UTF-8 and the UTF-16 of the W functions.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace lumora {

// Fills a rectangle with a solid colour (no brush needed).
void FillSolidRect(HDC dc, const RECT& rect, COLORREF colour);

// UTF-8 (exception messages, our sources) to UTF-16 and back.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

}  // namespace lumora
