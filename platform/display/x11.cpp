// The X11 display. Each top-level window has an X window without window
// manager decorations, because the window system draws the frame itself;
// the window's image is copied onto it whenever it changes.
// The window manager still learns the title, whether the window may be
// resized, which window owns it, and that it may ask to close it.
#include "display/x11.h"

#include <windows.h>

#include <cairo-xlib.h>
#include <cairo.h>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>

#include <poll.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "gdi/font.h"

namespace display {

// The connection outlives whichever of the display and its surfaces goes last.
struct X11Connection {
  ::Display* x = nullptr;
  std::map<::Window, X11Surface*> surfaces;
  Atom protocols = 0, delete_window = 0, motif_hints = 0, net_wm_name = 0, utf8 = 0;
  Atom net_wm_pid{}, net_wm_icon{};
  ::Window focus_wanted = 0;  // activated before it was mapped: gets the keyboard once it is
  // Whether a surface draws through cairo-xlib, whose requests need not pass
  // through Xlib's count; then every look for events reads the connection.
  bool cairo_xlib = false;
  // NextRequest() when the events were last all taken. While it stays so,
  // no request has been sent or answered since, so any new event still waits
  // in Xlib's queue or in the socket.
  unsigned long next_request_when_drained = 0;
  ~X11Connection() {
    if (x != nullptr) XCloseDisplay(x);
  }
};

class X11Surface final : public Surface {
 public:
  X11Surface(std::shared_ptr<X11Connection> connection, HWND owner, ::Window x_window, const RECT& area)
      : window(owner), xid(x_window), rect(area), connection_(std::move(connection)) {
    allocate();
  }
  ~X11Surface() override {
    connection_->surfaces.erase(xid);
    release();
    if (gc_ != nullptr) XFreeGC(connection_->x, gc_);
    XDestroyWindow(connection_->x, xid);
    XFlush(connection_->x);
  }
  cairo_surface_t* image() override { return image_; }

  // Copies a part of the image onto the X window: straight from the image's
  // pixels when the screen's format is the image's own (32-bit pixels with
  // 8-bit red, green and blue, as on nearly every X server), else through
  // cairo-xlib, which converts. Straight copies send only the smallest
  // rectangle around the pixels of `changed` that differ from what the window
  // was last given, and around what the server lost (exposed) in `drawn`: a
  // repaint that changes little, or nothing, costs the connection little or
  // nothing.
  void show(const RECT& drawn, const RECT& changed) {
    cairo_surface_flush(image_);
    if (pixels_ != nullptr) {
      show_changes(drawn, changed);
      return;
    }
    // Without the pixels shown before to compare with, all that was drawn is sent.
    const int width = drawn.right - drawn.left, height = drawn.bottom - drawn.top;
    if (width <= 0 || height <= 0) return;
    cairo_t* cr = cairo_create(target_);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, image_, 0, 0);
    cairo_rectangle(cr, drawn.left, drawn.top, width, height);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(target_);
  }

  // The server no longer holds this part of the window: the next copy over it sends it whole.
  void lose(const RECT& part) {
    if (pixels_ == nullptr) return;
    const RECT r = clipped(part);
    for (int y = r.top; y < r.bottom; ++y) lost_[y] = lost_[y].joined(r.left, r.right);
  }

  void place(const RECT& placed) {
    bool resized =
        placed.right - placed.left != rect.right - rect.left || placed.bottom - placed.top != rect.bottom - rect.top;
    rect = placed;
    if (!resized) return;
    release();
    allocate();
  }

  HWND window;
  ::Window xid;
  RECT rect;
  bool mapped = false;
  bool resizable = false;
  const unsigned char* icon = nullptr;  // the first image of the icon last given to the window manager

 private:
  // A run of pixels [left, right) in one row; empty when right <= left.
  struct Span {
    int left = 0, right = 0;
    bool empty() const { return right <= left; }
    Span joined(int l, int r) const {
      if (r <= l) return *this;
      if (empty()) return {l, r};
      return {std::min(left, l), std::max(right, r)};
    }
    // What is left of the span once [l, r) has been sent: only an end can be cut off.
    Span without(int l, int r) const {
      if (l <= left && r >= right) return {};
      if (l <= left && r > left) return {r, right};
      if (r >= right && l < right) return {left, l};
      return *this;
    }
  };

  RECT clipped(const RECT& part) const {
    return RECT{std::max<LONG>(part.left, 0), std::max<LONG>(part.top, 0), std::min<LONG>(part.right, width_),
                std::min<LONG>(part.bottom, height_)};
  }

  void show_changes(const RECT& drawn, const RECT& changed) {
    const RECT r = clipped(drawn);
    if (r.right <= r.left || r.bottom <= r.top) return;
    const RECT compared = clipped(changed);
    const auto* image = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(image_));
    const std::size_t stride = static_cast<std::size_t>(cairo_image_surface_get_stride(image_)) / sizeof(std::uint32_t);
    Span sent;  // the columns to send, over all rows
    int top = -1, bottom = -1;
    for (int y = r.top; y < r.bottom; ++y) {
      const std::uint32_t* now = image + y * stride;
      std::uint32_t* given = shown_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
      Span row = lost_[y].empty() ? Span{}
                                  : Span{std::max<int>(lost_[y].left, r.left), std::min<int>(lost_[y].right, r.right)};
      lost_[y] = lost_[y].without(r.left, r.right);
      if (y >= compared.top && y < compared.bottom && compared.left < compared.right) {
        const std::size_t length = static_cast<std::size_t>(compared.right - compared.left);
        if (std::memcmp(now + compared.left, given + compared.left, length * sizeof(std::uint32_t)) != 0) {
          int first = compared.left, last = compared.right - 1;
          while (now[first] == given[first]) ++first;
          while (now[last] == given[last]) --last;
          row = row.joined(first, last + 1);
        }
      }
      if (row.empty()) continue;
      std::memcpy(given + row.left, now + row.left,
                  static_cast<std::size_t>(row.right - row.left) * sizeof(std::uint32_t));
      sent = sent.joined(row.left, row.right);
      if (top < 0) top = y;
      bottom = y + 1;
    }
    if (sent.empty()) return;
    XPutImage(connection_->x, xid, gc_, pixels_, sent.left, top, sent.left, top,
              static_cast<unsigned>(sent.right - sent.left), static_cast<unsigned>(bottom - top));
  }

  void allocate() {
    int width = std::max<LONG>(1, rect.right - rect.left), height = std::max<LONG>(1, rect.bottom - rect.top);
    image_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    ::Display* x = connection_->x;
    Visual* visual = DefaultVisual(x, DefaultScreen(x));
    const int depth = DefaultDepth(x, DefaultScreen(x));
    if ((depth == 24 || depth == 32) && visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 &&
        visual->blue_mask == 0xFF) {
      // The image's memory, described to Xlib as host-order 32-bit pixels; Xlib swaps for a server that needs it.
      pixels_ =
          XCreateImage(x, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                       reinterpret_cast<char*>(cairo_image_surface_get_data(image_)), static_cast<unsigned>(width),
                       static_cast<unsigned>(height), 32, cairo_image_surface_get_stride(image_));
    }
    if (pixels_ != nullptr) {
      // Nothing has reached the server yet.
      width_ = width;
      height_ = height;
      shown_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
      lost_.assign(static_cast<std::size_t>(height), Span{0, width});
      const std::uint32_t probe = 1;
      pixels_->byte_order = *reinterpret_cast<const unsigned char*>(&probe) == 1 ? LSBFirst : MSBFirst;
      if (gc_ == nullptr) gc_ = XCreateGC(x, xid, 0, nullptr);
    } else {
      target_ = cairo_xlib_surface_create(x, xid, visual, width, height);
      connection_->cairo_xlib = true;
    }
  }

  void release() {
    if (pixels_ != nullptr) {
      pixels_->data = nullptr;  // the image's memory is cairo's
      XDestroyImage(pixels_);
      pixels_ = nullptr;
    }
    if (target_ != nullptr) cairo_surface_destroy(target_);
    target_ = nullptr;
    cairo_surface_destroy(image_);
    image_ = nullptr;
  }

  std::shared_ptr<X11Connection> connection_;
  cairo_surface_t* image_ = nullptr;
  cairo_surface_t* target_ = nullptr;  // only when the screen's format is not the image's
  XImage* pixels_ = nullptr;           // the image's pixels as Xlib sees them
  GC gc_ = nullptr;
  // With pixels_: what the X window was last given, and per row what it has lost since.
  int width_ = 0, height_ = 0;
  std::vector<std::uint32_t> shown_;
  std::vector<Span> lost_;
};

namespace {

// X reports errors asynchronously; one that a window's quick end can cause
// (focus given to a window just unmapped) must not end the program.
int ignore_error(::Display*, XErrorEvent*) { return 0; }

// A display that goes away (its server ended, the connection broke) ends the
// program with one line, where Xlib would print several and exit from inside
// whatever call met the break. The handler may not return. The process's
// descriptors, the serial port's among them, are closed as it ends.
int display_lost(::Display* x) {
  std::fprintf(stderr, "%s: lost the connection to the display %s\n", program_invocation_short_name, DisplayString(x));
  _exit(1);
}

// The window manager's size limits: fixed unless the window has a sizing frame.
void set_size_hints(::Display* x, const X11Surface& surface) {
  XSizeHints hints{};
  hints.flags = PPosition | USPosition;
  hints.x = surface.rect.left;
  hints.y = surface.rect.top;
  if (!surface.resizable) {
    hints.flags |= PMinSize | PMaxSize;
    hints.min_width = hints.max_width = std::max<LONG>(1, surface.rect.right - surface.rect.left);
    hints.min_height = hints.max_height = std::max<LONG>(1, surface.rect.bottom - surface.rect.top);
  }
  XSetWMNormalHints(x, surface.xid, &hints);
}

// What lets a desktop match the window to its program, as a Win32 window on
// X is matched: the class is the executable's name (the desktop entry's
// StartupWMClass), and the process and host tell whose window it is.
void set_program_hints(::Display* x, ::Window xid, Atom net_wm_pid) {
  XClassHint hint{program_invocation_short_name, program_invocation_short_name};
  XSetClassHint(x, xid, &hint);
  const unsigned long pid = static_cast<unsigned long>(getpid());
  XChangeProperty(x, xid, net_wm_pid, XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&pid),
                  1);
  utsname system{};
  uname(&system);
  char* name = system.nodename;
  XTextProperty machine{};
  if (XStringListToTextProperty(&name, 1, &machine) != 0) {
    XSetWMClientMachine(x, xid, &machine);
    XFree(machine.value);
  }
}

int mouse_key(unsigned int button) {
  switch (button) {
    case Button1: return VK_LBUTTON;
    case Button2: return VK_MBUTTON;
    case Button3: return VK_RBUTTON;
    default: return 0;  // the wheel is not used
  }
}

}  // namespace

std::unique_ptr<X11Display> X11Display::open() {
  ::Display* x = XOpenDisplay(nullptr);
  if (x == nullptr) return nullptr;
  XSetErrorHandler(ignore_error);
  XSetIOErrorHandler(display_lost);
  // Held keys repeat as presses only, as on Windows, not as release and press pairs.
  XkbSetDetectableAutoRepeat(x, True, nullptr);
  return std::unique_ptr<X11Display>(new X11Display(x));
}

X11Display::X11Display(::Display* x) : connection_(std::make_shared<X11Connection>()) {
  connection_->x = x;
  connection_->protocols = XInternAtom(x, "WM_PROTOCOLS", False);
  connection_->delete_window = XInternAtom(x, "WM_DELETE_WINDOW", False);
  connection_->motif_hints = XInternAtom(x, "_MOTIF_WM_HINTS", False);
  connection_->net_wm_name = XInternAtom(x, "_NET_WM_NAME", False);
  connection_->utf8 = XInternAtom(x, "UTF8_STRING", False);
  connection_->net_wm_pid = XInternAtom(x, "_NET_WM_PID", False);
  connection_->net_wm_icon = XInternAtom(x, "_NET_WM_ICON", False);
  clipboard_ = std::make_unique<X11Clipboard>(x);
}

X11Display::~X11Display() {
  for (auto& [shape, cursor] : cursors_) XFreeCursor(connection_->x, cursor);
}

SIZE X11Display::screen_size() const {
  ::Display* x = connection_->x;
  return SIZE{DisplayWidth(x, DefaultScreen(x)), DisplayHeight(x, DefaultScreen(x))};
}

std::unique_ptr<Surface> X11Display::create_surface(HWND window, const RECT& screen_rect) {
  ::Display* x = connection_->x;
  XSetWindowAttributes attributes{};
  attributes.background_pixel = 0xC0C0C0;
  attributes.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                          PointerMotionMask | FocusChangeMask | StructureNotifyMask;
  int width = std::max<LONG>(1, screen_rect.right - screen_rect.left),
      height = std::max<LONG>(1, screen_rect.bottom - screen_rect.top);
  ::Window xid = XCreateWindow(x, DefaultRootWindow(x), screen_rect.left, screen_rect.top, static_cast<unsigned>(width),
                               static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                               CWBackPixel | CWEventMask, &attributes);
  // No decorations: the frame is in the image. (Motif's hint, which window managers honour.)
  long motif[5] = {2, 0, 0, 0, 0};  // MWM_HINTS_DECORATIONS, no decorations
  XChangeProperty(x, xid, connection_->motif_hints, connection_->motif_hints, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(motif), 5);
  XSetWMProtocols(x, xid, &connection_->delete_window, 1);
  set_program_hints(x, xid, connection_->net_wm_pid);
  auto surface = std::make_unique<X11Surface>(connection_, window, xid, screen_rect);
  set_size_hints(x, *surface);
  if (current_cursor_ != 0) XDefineCursor(x, xid, current_cursor_);
  connection_->surfaces[xid] = surface.get();
  return surface;
}

void X11Display::move_surface(Surface& surface, const RECT& screen_rect) {
  auto& s = static_cast<X11Surface&>(surface);
  s.place(screen_rect);
  XMoveResizeWindow(connection_->x, s.xid, screen_rect.left, screen_rect.top,
                    static_cast<unsigned>(std::max<LONG>(1, screen_rect.right - screen_rect.left)),
                    static_cast<unsigned>(std::max<LONG>(1, screen_rect.bottom - screen_rect.top)));
  set_size_hints(connection_->x, s);
  XFlush(connection_->x);
}

void X11Display::show_surface(Surface& surface, bool visible) {
  auto& s = static_cast<X11Surface&>(surface);
  if (visible) {
    XMapRaised(connection_->x, s.xid);
  } else {
    XUnmapWindow(connection_->x, s.xid);
    s.mapped = false;
  }
  XFlush(connection_->x);
}

// Raising is what activation asks of the display, so the keyboard goes along.
void X11Display::raise_surface(Surface& surface) {
  auto& s = static_cast<X11Surface&>(surface);
  XRaiseWindow(connection_->x, s.xid);
  if (s.mapped)
    XSetInputFocus(connection_->x, s.xid, RevertToParent, CurrentTime);
  else
    connection_->focus_wanted = s.xid;
  XFlush(connection_->x);
}

void X11Display::present(Surface& surface, const RECT& drawn, const RECT& changed) {
  static_cast<X11Surface&>(surface).show(drawn, changed);
  XFlush(connection_->x);
}

void X11Display::set_look(Surface& surface, const SurfaceLook& look) {
  auto& s = static_cast<X11Surface&>(surface);
  ::Display* x = connection_->x;
  std::string utf8 = gdi::utf8_from_1252(look.title);
  XStoreName(x, s.xid, look.title.c_str());  // WM_NAME is Latin-1, which Windows-1252 mostly is
  XChangeProperty(x, s.xid, connection_->net_wm_name, connection_->utf8, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
  s.resizable = look.resizable;
  set_size_hints(x, s);
  if (look.owner != nullptr) XSetTransientForHint(x, s.xid, static_cast<X11Surface*>(look.owner)->xid);
  const unsigned char* icon = look.icon.empty() ? nullptr : look.icon.front().data();
  if (icon != s.icon) {
    s.icon = icon;
    // Decoded only when the icon changes; an empty value says there is none.
    const std::vector<unsigned long> cardinals = icon_cardinals(look.icon);
    XChangeProperty(x, s.xid, connection_->net_wm_icon, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(cardinals.data()), static_cast<int>(cardinals.size()));
  }
  XFlush(x);
}

unsigned long X11Display::cursor_for(int shape) {
  static const struct {
    int id;
    unsigned int glyph;
  } shapes[] = {{32512, XC_left_ptr},
                {32513, XC_xterm},
                {32514, XC_watch},
                {32515, XC_crosshair},
                {32516, XC_center_ptr},
                {32642, XC_bottom_right_corner},
                {32643, XC_bottom_left_corner},
                {32644, XC_sb_h_double_arrow},
                {32645, XC_sb_v_double_arrow},
                {32646, XC_fleur},
                {32648, XC_X_cursor},
                {32649, XC_hand2},
                // IDC_APPSTARTING: the cursor font has no arrow with a watch; its watch says "busy" too.
                {32650, XC_watch}};
  auto known = cursors_.find(shape);
  if (known != cursors_.end()) return known->second;
  unsigned int glyph = XC_left_ptr;
  for (const auto& s : shapes) {
    if (s.id == shape) glyph = s.glyph;
  }
  unsigned long cursor = XCreateFontCursor(connection_->x, glyph);
  cursors_[shape] = cursor;
  return cursor;
}

// Windows has one cursor for the whole screen: every window of ours shows it.
void X11Display::set_cursor(int shape) {
  current_cursor_ = cursor_for(shape == 0 ? 32512 : shape);
  for (auto& [xid, surface] : connection_->surfaces) XDefineCursor(connection_->x, xid, current_cursor_);
  XFlush(connection_->x);
}

int X11Display::wait_descriptor() const { return ConnectionNumber(connection_->x); }

// Looking for events with XPending() costs several system calls, as it
// flushes and reads the connection; most looks find nothing. Xcb reads events
// into a queue of its own only while it sends requests or waits for a reply,
// and XFlush() moves what it reads into Xlib's queue. So when no request has
// been made since the events were last all taken, an event can only be in
// Xlib's queue or still in the socket, and both are cheap to look at.
bool X11Display::may_have_events() const {
  ::Display* x = connection_->x;
  if (connection_->cairo_xlib || NextRequest(x) != connection_->next_request_when_drained) return true;
  if (XEventsQueued(x, QueuedAlready) > 0) return true;
  pollfd socket{ConnectionNumber(x), POLLIN, 0};
  return poll(&socket, 1, 0) != 0;
}

void X11Display::process_events(InputSink& sink) {
  ::Display* x = connection_->x;
  if (!may_have_events()) return;
  while (XPending(x) > 0) {
    XEvent event;
    XNextEvent(x, &event);
    if (clipboard_->handle(event)) continue;
    auto found = connection_->surfaces.find(event.xany.window);
    if (found == connection_->surfaces.end()) continue;
    X11Surface& s = *found->second;
    // Points are placed by the window's own rectangle, wherever a window manager put its X window.
    auto screen_point = [&s](int wx, int wy) { return POINT{s.rect.left + wx, s.rect.top + wy}; };
    switch (event.type) {
      case MotionNotify:
        while (XCheckTypedWindowEvent(x, s.xid, MotionNotify, &event)) {
        }
        sink.mouse_move(screen_point(event.xmotion.x, event.xmotion.y));
        break;
      case ButtonPress:
      case ButtonRelease: {
        int key = mouse_key(event.xbutton.button);
        if (key != 0) sink.mouse_button(key, event.type == ButtonPress, screen_point(event.xbutton.x, event.xbutton.y));
        break;
      }
      case KeyPress:
      case KeyRelease: {
        int key = virtual_key_of(XLookupKeysym(&event.xkey, 0));
        if (key != 0) sink.key(key, event.type == KeyPress);
        break;
      }
      case FocusIn:
        if (event.xfocus.mode == NotifyNormal || event.xfocus.mode == NotifyWhileGrabbed) sink.activate(s.window);
        break;
      case MapNotify:
        s.mapped = true;
        if (connection_->focus_wanted == s.xid) {
          connection_->focus_wanted = 0;
          XSetInputFocus(x, s.xid, RevertToParent, CurrentTime);
        }
        break;
      case UnmapNotify: s.mapped = false; break;
      case Expose: {
        const RECT exposed{event.xexpose.x, event.xexpose.y, event.xexpose.x + event.xexpose.width,
                           event.xexpose.y + event.xexpose.height};
        s.lose(exposed);
        sink.expose(s.window, exposed);
        break;
      }
      case ClientMessage:
        if (event.xclient.message_type == connection_->protocols &&
            static_cast<Atom>(event.xclient.data.l[0]) == connection_->delete_window) {
          sink.close(s.window);
        }
        break;
      default: break;
    }
  }
  connection_->next_request_when_drained = NextRequest(x);
}

}  // namespace display
