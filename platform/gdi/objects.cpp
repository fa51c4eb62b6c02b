// Brushes, pens, stock objects and the object calls of every kind.
#include "gdi/objects.h"

#include <cstring>
#include <deque>
#include <set>

#include "gdi/dc.h"

namespace gdi {
namespace {

std::set<Object*>& live() {
  static std::set<Object*> objects;
  return objects;
}

// Handles are the objects' addresses. A deleted object is kept for a while
// before its memory is freed, so that the allocator cannot hand its address
// straight to a new object: a stale handle is then refused, as Windows refuses
// it through the reuse count in its handles.
void retire(Object* object) {
  // Never destroyed, so the objects it keeps stay reachable until the process ends.
  static auto* const retired = new std::deque<Object*>;
  retired->push_back(object);
  if (retired->size() > 1024) {
    delete retired->front();
    retired->pop_front();
  }
}

template <typename T>
T* remember(T* object) {
  live().insert(object);
  return object;
}

Brush* stock_brush(COLORREF colour, bool hollow = false, bool dc_colour = false) {
  auto* brush = remember(new Brush);
  brush->colour = colour;
  brush->hollow = hollow;
  brush->dc_colour = dc_colour;
  brush->permanent = true;
  return brush;
}

Pen* stock_pen(COLORREF colour, int style) {
  auto* pen = remember(new Pen);
  pen->colour = colour;
  pen->style = style;
  pen->permanent = true;
  return pen;
}

// A stock font: made as CreateFontIndirectA makes a font, so that it measures
// and describes itself as the system's does, and never deleted.
HFONT stock_font(LONG height, LONG weight, const char* face) {
  LOGFONTA logical{};
  logical.lfHeight = height;
  logical.lfWeight = weight;
  std::strncpy(logical.lfFaceName, face, LF_FACESIZE - 1);
  HFONT font = CreateFontIndirectA(&logical);
  font_from(font)->permanent = true;
  return font;
}

}  // namespace

// Windows gives a process at most 10,000 GDI objects (its default quota).
bool object_quota_reached() { return live().size() >= 10000; }

DWORD object_count() { return static_cast<DWORD>(live().size()); }

Object* object_from(HGDIOBJ handle, Kind kind) {
  auto* object = static_cast<Object*>(handle);
  if (handle == nullptr || live().count(object) == 0 || object->kind != kind) return nullptr;
  return object;
}

HBRUSH make_permanent_brush(COLORREF colour) { return reinterpret_cast<HBRUSH>(stock_brush(colour)); }

HFONT make_font(const FontSpec& spec) {
  auto* font = remember(new Font);
  font->spec = spec;
  return reinterpret_cast<HFONT>(font);
}

HFONT default_gui_font() {
  static HFONT font = stock_font(-11, FW_NORMAL, "MS Shell Dlg");  // 8 points at 96 dpi
  return font;
}

COLORREF brush_colour(HBRUSH handle, bool* hollow) {
  *hollow = false;
  auto value = reinterpret_cast<ULONG_PTR>(handle);
  if (value > 0 && value <= 31) return GetSysColor(static_cast<int>(value - 1));
  Brush* brush = brush_from(handle);
  if (brush == nullptr || brush->hollow) {
    *hollow = true;
    return 0;
  }
  return brush->colour;
}

}  // namespace gdi

using namespace gdi;

HGDIOBJ WINAPI GetStockObject(int index) {
  static Brush* white = stock_brush(RGB(255, 255, 255));
  static Brush* light_grey = stock_brush(RGB(192, 192, 192));
  static Brush* grey = stock_brush(RGB(128, 128, 128));
  static Brush* dark_grey = stock_brush(RGB(64, 64, 64));
  static Brush* black = stock_brush(RGB(0, 0, 0));
  static Brush* hollow = stock_brush(0, true);
  static Brush* dc_brush = stock_brush(RGB(255, 255, 255), false, true);
  static Pen* white_pen = stock_pen(RGB(255, 255, 255), PS_SOLID);
  static Pen* black_pen = stock_pen(RGB(0, 0, 0), PS_SOLID);
  static Pen* null_pen = stock_pen(0, PS_NULL);
  switch (index) {
    case WHITE_BRUSH: return white;
    case LTGRAY_BRUSH: return light_grey;
    case GRAY_BRUSH: return grey;
    case DKGRAY_BRUSH: return dark_grey;
    case BLACK_BRUSH: return black;
    case NULL_BRUSH: return hollow;
    case DC_BRUSH: return dc_brush;
    case WHITE_PEN: return white_pen;
    case BLACK_PEN: return black_pen;
    case NULL_PEN: return null_pen;
    case DEFAULT_GUI_FONT: return default_gui_font();
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT: {
      static HFONT system = stock_font(16, FW_BOLD, "System");
      return system;
    }
    case ANSI_VAR_FONT: {
      static HFONT variable = stock_font(12, FW_NORMAL, "MS Sans Serif");
      return variable;
    }
    default: return nullptr;
  }
}

HBRUSH WINAPI CreateSolidBrush(COLORREF colour) {
  if (object_quota_reached()) return nullptr;
  auto* brush = remember(new Brush);
  brush->colour = colour & 0x00ffffff;
  return reinterpret_cast<HBRUSH>(brush);
}

HPEN WINAPI CreatePen(int style, int width, COLORREF colour) {
  if (object_quota_reached()) return nullptr;
  auto* pen = remember(new Pen);
  pen->style = style;
  pen->width = width < 1 ? 1 : width;
  pen->colour = colour & 0x00ffffff;
  return reinterpret_cast<HPEN>(pen);
}

// DeleteObject: stock and system objects stay; a DC is not an object to delete here.
BOOL WINAPI DeleteObject(HGDIOBJ handle) {
  auto* object = static_cast<Object*>(handle);
  if (handle == nullptr || live().count(object) == 0 || object->kind == Kind::dc) return FALSE;
  if (object->permanent) return TRUE;
  live().erase(object);
  retire(object);
  return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC handle, HGDIOBJ object) {
  DC* dc = dc_from(handle);
  if (dc == nullptr || object == nullptr) return nullptr;
  HGDIOBJ previous = nullptr;
  if (brush_from(object) != nullptr) {
    previous = dc->brush;
    dc->brush = static_cast<HBRUSH>(object);
  } else if (pen_from(object) != nullptr) {
    previous = dc->pen;
    dc->pen = static_cast<HPEN>(object);
  } else if (font_from(object) != nullptr) {
    previous = dc->font;
    dc->font = static_cast<HFONT>(object);
  }
  return previous;
}
