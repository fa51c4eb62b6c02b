// GDI objects: every handle points at one of these records. Internal to the platform.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace gdi {

enum class Kind : std::uint32_t { brush = 0x42525348, pen = 0x50454e21, font = 0x464f4e54, dc = 0x44435f5f };

struct Object {
  Kind kind;
  bool permanent = false;  // stock and system-colour objects: DeleteObject leaves them alone
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
};

struct Brush : Object {
  COLORREF colour = 0;
  bool hollow = false;
  bool dc_colour = false;  // DC_BRUSH: the colour of the DC it is selected into
  Brush() : Object(Kind::brush) {}
};

struct Pen : Object {
  COLORREF colour = 0;
  int width = 1;
  int style = PS_SOLID;
  Pen() : Object(Kind::pen) {}
};

// What a font is made of; fontconfig resolves the family when it is drawn.
struct FontSpec {
  std::string family;
  double pixel_size = 11;  // the em height in pixels
  int weight = FW_NORMAL;
  bool italic = false;
  bool underline = false;
  bool strikeout = false;
  bool antialiased = true;  // NONANTIALIASED_QUALITY turns it off
};

struct Font : Object {
  FontSpec spec;
  LOGFONTA logical{};  // as it was asked for, for GetObjectA
  Font() : Object(Kind::font) {}
};

Object* object_from(HGDIOBJ handle, Kind kind);  // null when the handle is no such object
// True when the process holds as many objects as Windows allows; no more can be made.
bool object_quota_reached();
// How many objects the process holds, stock objects included.
DWORD object_count();
inline Brush* brush_from(HGDIOBJ h) { return static_cast<Brush*>(object_from(h, Kind::brush)); }
inline Pen* pen_from(HGDIOBJ h) { return static_cast<Pen*>(object_from(h, Kind::pen)); }
inline Font* font_from(HGDIOBJ h) { return static_cast<Font*>(object_from(h, Kind::font)); }

HBRUSH make_permanent_brush(COLORREF colour);
// A new font object; the caller (CreateFontA, say) owns it until DeleteObject.
HFONT make_font(const FontSpec& spec);
// The default GUI font: "MS Shell Dlg" (drawn in a metric-compatible face), 8 points at 96 dpi.
HFONT default_gui_font();

// A brush handle or a system colour index + 1, as class backgrounds allow.
COLORREF brush_colour(HBRUSH brush, bool* hollow);

}  // namespace gdi
