// The display driver interface: what the window system needs of a display
// system. One implementation per display system (headless and X11), chosen
// once in display/select.cpp. The window system
// draws every top-level window, frame and children, into that window's own
// image; a backend shows those images and feeds input back through the
// input sink below.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

typedef struct _cairo_surface cairo_surface_t;

namespace display {

// One top-level window's image and whatever the backend keeps for it.
class Surface {
 public:
  virtual ~Surface() = default;
  // The ARGB32 image of the whole window, frame included, window-sized.
  virtual cairo_surface_t* image() = 0;
};

// Where a backend delivers what the person at the display does. Points are
// screen coordinates; keys are virtual-key codes.
class InputSink {
 public:
  virtual ~InputSink() = default;
  virtual void mouse_move(POINT screen) = 0;
  virtual void mouse_button(int virtual_key, bool down, POINT screen) = 0;
  virtual void key(int virtual_key, bool down) = 0;
  // The display gave a top-level window the keyboard.
  virtual void activate(HWND window) = 0;
  // The person asked the display to close a top-level window.
  virtual void close(HWND window) = 0;
  // Part of a top-level window (window coordinates) must be drawn again.
  virtual void expose(HWND window, const RECT& part) = 0;
};

// How a top-level window presents itself to the display system.
struct SurfaceLook {
  std::string title;  // Windows-1252
  bool resizable = false;
  Surface* owner = nullptr;  // kept above this one
  // The window's icon in each size it comes in, as PNG files; none for a
  // window whose class has no icon of the program's own.
  std::vector<std::span<const unsigned char>> icon;
};

class Display {
 public:
  virtual ~Display() = default;
  virtual const char* name() const = 0;
  virtual SIZE screen_size() const = 0;

  // A top-level window's surface at a screen rectangle, hidden at first.
  virtual std::unique_ptr<Surface> create_surface(HWND window, const RECT& screen_rect) = 0;
  // New place and size; the image is reallocated when the size changes and
  // its old contents are then lost (the window system repaints).
  virtual void move_surface(Surface& surface, const RECT& screen_rect) = 0;
  virtual void show_surface(Surface& surface, bool visible) = 0;
  virtual void raise_surface(Surface& surface) = 0;
  // A part of the image (window coordinates) has been drawn on and is ready
  // to show; its pixels may differ from those shown before only within
  // `changed`. What the display lost elsewhere in `drawn` is shown again too.
  virtual void present(Surface& surface, const RECT& drawn, const RECT& changed) = 0;
  virtual void set_look(Surface&, const SurfaceLook&) {}
  // The mouse cursor's shape, by the resource id of the system cursor (32512 is the arrow).
  virtual void set_cursor(int) {}

  // The clipboard's text (Windows-1252), shared with the display's other
  // programs where it has any. Offering takes the clipboard for this program
  // and serves the text to whoever asks; nullopt empties it.
  virtual void offer_clipboard(std::optional<std::string> text) = 0;
  // The text on the clipboard, whoever holds it; nullopt when there is none.
  virtual std::optional<std::string> clipboard_text() = 0;
  virtual bool clipboard_has_text() = 0;

  // A descriptor that becomes readable when the display has events, or -1
  // for a display that has none of its own (the headless one).
  virtual int wait_descriptor() const = 0;
  // Reads whatever events are pending and delivers them to the sink.
  virtual void process_events(InputSink& sink) = 0;
};

// The process's display, made on first use by the one place that chooses.
Display& current();
// Puts display in place of the current one (select.cpp). Used by the test
// driver, before any window exists, to choose the headless display.
bool replace(std::unique_ptr<Display> display);

}  // namespace display
