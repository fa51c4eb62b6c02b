// The clipboard on X11: the CLIPBOARD selection, owned through a window of its
// own that is never shown. While it is ours, other programs' requests are
// answered from the text kept here (TARGETS, UTF8_STRING and STRING); a text
// another program holds is asked for as UTF8_STRING. Internal to the platform.
#pragma once

#include <optional>
#include <string>

typedef struct _XDisplay XDisplay;
typedef union _XEvent XEvent;

namespace display {

class X11Clipboard {
 public:
  explicit X11Clipboard(XDisplay* x);
  ~X11Clipboard();
  X11Clipboard(const X11Clipboard&) = delete;
  X11Clipboard& operator=(const X11Clipboard&) = delete;

  // Takes the selection; nullopt offers no text at all (an empty clipboard).
  void offer(std::optional<std::string> text_1252);
  std::optional<std::string> text();
  bool has_text();

  // Answers a selection event meant for the clipboard's window; false for any other event.
  bool handle(const XEvent& event);

 private:
  bool ours() const;
  void answer(const XEvent& request);

  XDisplay* x_;
  unsigned long window_ = 0;
  unsigned long clipboard_ = 0, targets_ = 0, utf8_ = 0, string_ = 0, property_ = 0, incr_ = 0;
  bool owned_ = false;
  std::optional<std::string> text_;  // Windows-1252, while owned
};

}  // namespace display
