// Prints the X server's current cursor as XFixes reads it back: its size,
// hot spot and a checksum of its pixels, so that a test can tell shapes apart.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <cstdint>
#include <cstdio>

int main() {
  Display* x = XOpenDisplay(nullptr);
  if (x == nullptr) return 2;
  XFixesCursorImage* cursor = XFixesGetCursorImage(x);
  if (cursor == nullptr) return 3;
  std::uint64_t sum = 0;
  for (int i = 0; i < cursor->width * cursor->height; ++i) sum = sum * 31 + cursor->pixels[i];
  std::printf("%dx%d hot %d,%d pixels %016llx\n", cursor->width, cursor->height, cursor->xhot, cursor->yhot,
              static_cast<unsigned long long>(sum));
  XFree(cursor);
  XCloseDisplay(x);
  return 0;
}
