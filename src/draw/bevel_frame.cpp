#include "draw/bevel_frame.h"

#include "draw/gdi.h"

namespace lumora {

void DrawBevelFrame(HDC canvas, const RECT& rect, COLORREF topLeft, int rings, COLORREF bottomRight) {
  if (!canvas || rings <= 0) return;
  ScopedPen topLeftPen(CreatePen(PS_SOLID, 1, topLeft));
  ScopedPen bottomRightPen(CreatePen(PS_SOLID, 1, bottomRight));
  if (!topLeftPen || !bottomRightPen) return;
  ScopedSelectObject restorePen(canvas, topLeftPen.Get());
  // Polyline leaves out its last point, so with right and bottom pulled in by
  // one the rings cover exactly the outermost pixels of rect.
  RECT r{rect.left, rect.top, rect.right - 1, rect.bottom - 1};
  for (int ring = 0; ring < rings; ++ring) {
    const POINT upper[] = {{r.left, r.bottom}, {r.left, r.top}, {r.right, r.top}};
    const POINT lower[] = {{r.right, r.top}, {r.right, r.bottom}, {r.left - 1, r.bottom}};
    SelectObject(canvas, topLeftPen.Get());
    Polyline(canvas, upper, 3);
    SelectObject(canvas, bottomRightPen.Get());
    Polyline(canvas, lower, 3);
    InflateRect(&r, -1, -1);
  }
}

}  // namespace lumora
