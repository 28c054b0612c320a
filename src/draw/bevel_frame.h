#pragma once
// Bevel frames: nested one-pixel rings lit from the top left (raised) or the
// bottom right (sunken), as around the status-bar panels.

#include <windows.h>

namespace lumora {

// `rings` rings inside rect, outermost first: top and left edges in topLeft,
// bottom and right edges in bottomRight (shadow / highlight gives a sunken
// frame). The DC's pen is left as it was.
void DrawBevelFrame(HDC canvas, const RECT& rect, COLORREF topLeft, int rings, COLORREF bottomRight);

}  // namespace lumora
