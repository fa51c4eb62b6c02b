// The X11 display: every top-level window is an undecorated X window that
// shows the window's image, frame included, which the window system draws
// itself (so a window looks and behaves the same on every X server, with or
// without a window manager). Input, focus, exposure and the window manager's
// close requests come back through the input sink. Internal to the platform.
#pragma once

#include "display/display.h"
#include "display/x11_clipboard.h"

#include <map>
#include <span>
#include <vector>

typedef struct _XDisplay XDisplay;

namespace display {

class X11Surface;
struct X11Connection;

class X11Display final : public Display {
 public:
  // Connects to the X server named by DISPLAY; null when there is none.
  static std::unique_ptr<X11Display> open();
  ~X11Display() override;

  const char* name() const override { return "x11"; }
  SIZE screen_size() const override;
  std::unique_ptr<Surface> create_surface(HWND window, const RECT& screen_rect) override;
  void move_surface(Surface& surface, const RECT& screen_rect) override;
  void show_surface(Surface& surface, bool visible) override;
  void raise_surface(Surface& surface) override;
  void present(Surface& surface, const RECT& drawn, const RECT& changed) override;
  void set_look(Surface& surface, const SurfaceLook& look) override;
  void set_cursor(int shape) override;
  int wait_descriptor() const override;
  void process_events(InputSink& sink) override;
  void offer_clipboard(std::optional<std::string> text) override { clipboard_->offer(std::move(text)); }
  std::optional<std::string> clipboard_text() override { return clipboard_->text(); }
  bool clipboard_has_text() override { return clipboard_->has_text(); }

 private:
  bool may_have_events() const;
  explicit X11Display(XDisplay* connection);
  unsigned long cursor_for(int shape);

  std::shared_ptr<X11Connection> connection_;  // shared with the surfaces
  std::map<int, unsigned long> cursors_;       // by shape
  unsigned long current_cursor_ = 0;
  std::unique_ptr<X11Clipboard> clipboard_;  // goes before the connection
};

// The virtual-key code of an X keysym, 0 for keys Windows has no code for.
int virtual_key_of(unsigned long keysym);

// The _NET_WM_ICON value of an icon given as PNG files, one per size; a file
// that cannot be read is left out.
std::vector<unsigned long> icon_cardinals(const std::vector<std::span<const unsigned char>>& pngs);

}  // namespace display
