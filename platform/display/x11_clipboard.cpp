// The CLIPBOARD selection, as the ICCCM describes it: owning it is one
// XSetSelectionOwner; a SelectionRequest is answered by writing the asked-for
// form of the text into the requestor's property and sending it a
// SelectionNotify; asking another owner is one XConvertSelection, whose
// SelectionNotify is awaited on the connection for a bounded time.
#include "display/x11_clipboard.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <vector>

#include "gdi/font.h"

namespace display {
namespace {

// How long a paste waits for the other program's answer. The program's own
// window is not served meanwhile, so the wait is kept short; a well-behaved
// owner answers within milliseconds.
constexpr auto answer_wait = std::chrono::milliseconds(1000);

// STRING is Latin-1: Windows-1252's own characters in 0x80..0x9F have no place there.
std::string latin1_of_1252(std::string text) {
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte < 0xA0) c = '?';
  }
  return text;
}

}  // namespace

X11Clipboard::X11Clipboard(XDisplay* x) : x_(x) {
  window_ = XCreateSimpleWindow(x, DefaultRootWindow(x), -10, -10, 1, 1, 0, 0, 0);
  clipboard_ = XInternAtom(x, "CLIPBOARD", False);
  targets_ = XInternAtom(x, "TARGETS", False);
  utf8_ = XInternAtom(x, "UTF8_STRING", False);
  string_ = XA_STRING;
  property_ = XInternAtom(x, "VELMORANT_CLIPBOARD", False);
  incr_ = XInternAtom(x, "INCR", False);
}

X11Clipboard::~X11Clipboard() { XDestroyWindow(x_, window_); }

bool X11Clipboard::ours() const { return owned_ && XGetSelectionOwner(x_, clipboard_) == window_; }

void X11Clipboard::offer(std::optional<std::string> text_1252) {
  text_ = std::move(text_1252);
  XSetSelectionOwner(x_, clipboard_, window_, CurrentTime);
  owned_ = XGetSelectionOwner(x_, clipboard_) == window_;
  XFlush(x_);
}

bool X11Clipboard::has_text() {
  if (ours()) return text_.has_value();
  return XGetSelectionOwner(x_, clipboard_) != None;
}

// Asks the owner for UTF8_STRING, then for STRING from an owner that refuses
// it. A text sent in increments (INCR, for texts of hundreds of kilobytes) is
// not taken.
std::optional<std::string> X11Clipboard::text() {
  if (ours()) return text_;
  if (XGetSelectionOwner(x_, clipboard_) == None) return std::nullopt;
  for (const Atom target : {utf8_, string_}) {
    XDeleteProperty(x_, window_, property_);
    XConvertSelection(x_, clipboard_, target, property_, window_, CurrentTime);
    XFlush(x_);
    const auto deadline = std::chrono::steady_clock::now() + answer_wait;
    XEvent event;
    bool answered = false;
    // Other events stay queued for the program's loop; the wait sleeps in poll().
    while (!(answered = XCheckTypedWindowEvent(x_, window_, SelectionNotify, &event))) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      pollfd socket{ConnectionNumber(x_), POLLIN, 0};
      poll(&socket, 1, static_cast<int>(left));
    }
    if (!answered) return std::nullopt;  // the owner did not answer in time
    if (event.xselection.property == None) continue;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(x_, window_, property_, 0, LONG_MAX / 4, True, AnyPropertyType, &type, &format, &count,
                           &after, &data) != Success)
      return std::nullopt;
    std::string bytes;
    if (data != nullptr && format == 8) bytes.assign(reinterpret_cast<const char*>(data), count);
    if (data != nullptr) XFree(data);
    if (type == incr_ || format != 8) return std::nullopt;
    return type == utf8_ ? gdi::cp1252_from_utf8(bytes) : bytes;
  }
  return std::nullopt;
}

bool X11Clipboard::handle(const XEvent& event) {
  switch (event.type) {
    case SelectionClear:
      if (event.xselectionclear.window != window_) return false;
      if (event.xselectionclear.selection == clipboard_) {
        owned_ = false;  // another program took the clipboard
        text_.reset();
      }
      return true;
    case SelectionRequest:
      if (event.xselectionrequest.owner != window_) return false;
      answer(event);
      return true;
    case SelectionNotify: return event.xselection.requestor == window_;  // an answer that came too late
    default: return false;
  }
}

// TARGETS lists the forms; UTF8_STRING and STRING carry the text; anything
// else, or a request after the clipboard was emptied, is refused (property None).
void X11Clipboard::answer(const XEvent& event) {
  const XSelectionRequestEvent& request = event.xselectionrequest;
  XEvent reply{};
  reply.xselection.type = SelectionNotify;
  reply.xselection.display = x_;
  reply.xselection.requestor = request.requestor;
  reply.xselection.selection = request.selection;
  reply.xselection.target = request.target;
  reply.xselection.time = request.time;
  reply.xselection.property = None;
  // Clients older than the ICCCM name no property: the target's name serves.
  const Atom property = request.property != None ? request.property : request.target;
  const bool has_text = owned_ && request.selection == clipboard_ && text_.has_value();
  if (request.selection == clipboard_ && owned_ && request.target == targets_) {
    std::vector<Atom> forms{targets_};
    if (has_text) forms.insert(forms.end(), {utf8_, string_});
    XChangeProperty(x_, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(forms.data()), static_cast<int>(forms.size()));
    reply.xselection.property = property;
  } else if (has_text && (request.target == utf8_ || request.target == string_)) {
    const std::string bytes = request.target == utf8_ ? gdi::utf8_from_1252(*text_) : latin1_of_1252(*text_);
    // One property holds it; a text beyond the server's request size would need INCR, which is not offered.
    const long most = std::max(XExtendedMaxRequestSize(x_), XMaxRequestSize(x_)) * 4 - 64;
    if (static_cast<long>(bytes.size()) < most) {
      XChangeProperty(x_, request.requestor, property, request.target, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
      reply.xselection.property = property;
    }
  }
  XSendEvent(x_, request.requestor, False, NoEventMask, &reply);
  XFlush(x_);
}

}  // namespace display
