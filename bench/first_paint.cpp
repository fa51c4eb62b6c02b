// Starts a program and reports, in milliseconds from the start, when its
// window with the given title is mapped and when its caption is painted:
//   first_paint TITLE PROGRAM [ARGUMENTS...]
// The program is left running; its process id is printed first, then the
// window's X id and the two times. The caption
// counts as painted once a pixel in the middle of its strip is blue-dominated,
// which an active caption is in every colour scheme the program can show and
// an unpainted window (black, or its grey background) is not.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string window_title(Display* x, Window window) {
  Atom utf8 = XInternAtom(x, "UTF8_STRING", False);
  Atom name = XInternAtom(x, "_NET_WM_NAME", False);
  Atom type;
  int format;
  unsigned long count, left;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(x, window, name, 0, 256, False, utf8, &type, &format, &count, &left, &data) == Success &&
      data) {
    title.assign(reinterpret_cast<char*>(data), count);
  }
  if (data) XFree(data);
  if (title.empty()) {
    char* plain = nullptr;
    if (XFetchName(x, window, &plain) && plain) title = plain;
    if (plain) XFree(plain);
  }
  return title;
}

bool caption_painted(Display* x, Window window) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(x, window, &attributes) || attributes.map_state != IsViewable) return false;
  XImage* image = XGetImage(x, window, attributes.width / 2, 8, 1, 1, AllPlanes, ZPixmap);
  if (image == nullptr) return false;
  const unsigned long pixel = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  const int red = static_cast<int>((pixel >> 16) & 0xFF), blue = static_cast<int>(pixel & 0xFF);
  return blue > red + 40;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: first_paint TITLE PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  Display* x = XOpenDisplay(nullptr);
  if (x == nullptr) {
    std::fprintf(stderr, "first_paint: no X display\n");
    return 1;
  }
  const std::string title = argv[1];
  XSelectInput(x, DefaultRootWindow(x), SubstructureNotifyMask);
  XSync(x, False);

  const Clock::time_point start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    close(ConnectionNumber(x));
    execvp(argv[2], argv + 2);
    std::perror("first_paint: exec");
    _exit(127);
  }
  std::printf("pid %d\n", static_cast<int>(child));
  std::fflush(stdout);

  // The window is found from the root's MapNotify events, without polling
  // the server while the program starts; its caption is then looked at
  // every half millisecond.
  double mapped = -1;
  Window window = 0;
  const auto give_up = start + std::chrono::seconds(60);
  pollfd connection{ConnectionNumber(x), POLLIN, 0};
  while (Clock::now() < give_up) {
    while (window == 0 && XPending(x)) {
      XEvent event;
      XNextEvent(x, &event);
      if (event.type == MapNotify && window_title(x, event.xmap.window) == title) {
        window = event.xmap.window;
        mapped = milliseconds_since(start);
      }
    }
    if (window == 0) {
      poll(&connection, 1, 100);
      continue;
    }
    if (caption_painted(x, window)) {
      std::printf("window 0x%lx\nmapped %.1f ms\npainted %.1f ms\n", window, mapped, milliseconds_since(start));
      return 0;
    }
    usleep(500);
  }
  std::fprintf(stderr, "first_paint: no painted window \"%s\" within 60 s\n", title.c_str());
  return 1;
}
