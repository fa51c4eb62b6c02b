// Device contexts: a cairo context on a top-level window's image, with the
// origin and clipping of the window it draws for. Internal to the platform.
#pragma once

#include "gdi/objects.h"

#include <vector>

namespace gdi {

struct DCState {
  COLORREF text_colour = RGB(0, 0, 0);
  COLORREF background_colour = RGB(255, 255, 255);
  COLORREF brush_colour = RGB(255, 255, 255);  // DC_BRUSH
  int background_mode = OPAQUE;
  UINT text_align = TA_LEFT | TA_TOP;
  HBRUSH brush = nullptr;
  HPEN pen = nullptr;
  HFONT font = nullptr;
  POINT position{};
  POINT origin{};  // image coordinates of the DC's (0, 0)
  RECT clip{};     // image coordinates
};

struct DC : Object, DCState {
  HWND window = nullptr;
  cairo_surface_t* image = nullptr;
  cairo_t* cr = nullptr;  // made by the first drawing that needs it
  bool owns_image = false;
  RECT reach{};    // image coordinates: the most the DC may change, its clip when opened
  RECT changed{};  // image coordinates: what its drawing may have changed so far
  std::vector<DCState> saved;
  DC() : Object(Kind::dc) {}
};

DC* dc_from(HDC handle);
// A DC drawing on `image` (which it references) at `origin`, clipped to `clip`, both in image coordinates.
HDC open_dc(HWND window, cairo_surface_t* image, POINT origin, const RECT& clip);
// Closes the DC; returns the part of the image it was opened to draw on, and
// sets `changed` to the part within that its drawing may have changed (both
// empty for an unknown handle).
RECT close_dc(HDC handle, RECT* changed);
// Adds a part of the image (image coordinates) to what the DC has changed.
void note_change(DC& dc, const RECT& part);
// Applies the DC's clip to its cairo context; drawing calls begin with it.
// All that the clip lets through counts as changed.
cairo_t* begin_drawing(DC& dc);
void end_drawing(DC& dc);
void set_source(cairo_t* cr, COLORREF colour);
// Fills the rectangle, in the DC's coordinates and clipped to it, with one
// colour, pixel for pixel; only the pixels of another colour count as changed.
void fill(DC& dc, const RECT& r, COLORREF colour);

}  // namespace gdi
