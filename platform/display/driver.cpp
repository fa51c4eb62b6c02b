// The headless display's test driver: input as a person gives it, and pixels back.
#include "platform_driver.h"

#include <cairo.h>

#include <cstdio>
#include <string>

#include "display/display.h"
#include "display/headless.h"
#include "user/input_sink.h"
#include "user/keyboard_layout.h"
#include "user/window.h"

namespace {

display::HeadlessDisplay* headless() { return dynamic_cast<display::HeadlessDisplay*>(&display::current()); }

void describe(HWND handle, int depth, std::string& out) {
  user::Window* window = user::find(handle);
  RECT r = user::screen_rect(*window);
  char line[512];
  std::snprintf(line, sizeof line, "%*s%p %s \"%s\" (%d,%d)-(%d,%d) %s\n", depth * 2, "", static_cast<void*>(handle),
                window->window_class->name.c_str(), window->text.c_str(), r.left, r.top, r.right, r.bottom,
                (window->style & WS_VISIBLE) ? "visible" : "hidden");
  out += line;
  for (HWND child : window->children) describe(child, depth + 1, out);
}

}  // namespace

bool platform_driver_start(int width, int height) {
  if (!user::top_levels().empty() || width <= 0 || height <= 0) return false;
  return display::replace(std::make_unique<display::HeadlessDisplay>(width, height));
}

void platform_driver_mouse_move(int screen_x, int screen_y) {
  user::input_sink().mouse_move(POINT{screen_x, screen_y});
}

void platform_driver_mouse_button(int virtual_key, bool down) {
  POINT cursor;
  GetCursorPos(&cursor);
  user::input_sink().mouse_button(virtual_key, down, cursor);
}

void platform_driver_key(int virtual_key, bool down) { user::input_sink().key(virtual_key, down); }

void platform_driver_key_chord(const int* virtual_keys, int count) {
  for (int i = 0; i < count; ++i) platform_driver_key(virtual_keys[i], true);
  for (int i = count - 1; i >= 0; --i) platform_driver_key(virtual_keys[i], false);
}

bool platform_driver_type_text(const char* text) {
  for (const char* c = text; *c != '\0'; ++c) {
    int key;
    bool shift;
    if (!user::key_for_character(*c, &key, &shift)) return false;
    if (shift) platform_driver_key(VK_SHIFT, true);
    platform_driver_key(key, true);
    platform_driver_key(key, false);
    if (shift) platform_driver_key(VK_SHIFT, false);
  }
  return true;
}

COLORREF platform_driver_pixel(HWND window, int x, int y) {
  if (window == nullptr) {
    display::HeadlessDisplay* screen = headless();
    if (screen == nullptr) return CLR_INVALID;
    cairo_surface_t* image = screen->compose_screen();
    COLORREF colour = CLR_INVALID;
    if (x >= 0 && y >= 0 && x < cairo_image_surface_get_width(image) && y < cairo_image_surface_get_height(image)) {
      auto pixel = *reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(image) +
                                                           y * cairo_image_surface_get_stride(image) + x * 4);
      colour = RGB((pixel >> 16) & 0xff, (pixel >> 8) & 0xff, pixel & 0xff);
    }
    cairo_surface_destroy(image);
    return colour;
  }
  HDC dc = GetDC(window);
  COLORREF colour = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return colour;
}

bool platform_driver_save_png(HWND window, const char* path) {
  if (window == nullptr) {
    display::HeadlessDisplay* screen = headless();
    if (screen == nullptr) return false;
    cairo_surface_t* image = screen->compose_screen();
    bool saved = cairo_surface_write_to_png(image, path) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(image);
    return saved;
  }
  user::Window* w = user::find(window);
  if (w == nullptr) return false;
  user::Window* top = user::find(user::top_level_of(window));
  RECT own = user::screen_rect(*w);
  int width = own.right - own.left, height = own.bottom - own.top;
  cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(width, 1), std::max(height, 1));
  cairo_t* cr = cairo_create(out);
  cairo_surface_t* source = top->surface->image();
  cairo_surface_flush(source);
  cairo_set_source_surface(cr, source, top->rect.left - own.left, top->rect.top - own.top);
  cairo_paint(cr);
  cairo_destroy(cr);
  bool saved = cairo_surface_write_to_png(out, path) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(out);
  return saved;
}

int platform_driver_window_tree(char* buffer, int size) {
  std::string out;
  const std::vector<HWND>& stack = user::top_levels();
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) describe(*it, 0, out);
  if (buffer != nullptr && size > 0) {
    size_t n = std::min(out.size(), static_cast<size_t>(size - 1));
    out.copy(buffer, n);
    buffer[n] = '\0';
  }
  return static_cast<int>(out.size());
}
