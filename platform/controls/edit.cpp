// The "Edit" control, single line: a text with a caret and a selection,
// edited by keyboard and mouse, scrolled sideways with ES_AUTOHSCROLL, and
// cut, copied and pasted through the clipboard (CF_TEXT). It tells its
// parent about focus and changes through WM_COMMAND (EN_SETFOCUS,
// EN_KILLFOCUS, EN_UPDATE then EN_CHANGE) and asks it for colours with
// WM_CTLCOLOREDIT (WM_CTLCOLORSTATIC while read-only or disabled).
#include <algorithm>
#include <cctype>
#include <cstring>

#include "controls/controls.h"

namespace controls {
namespace {

constexpr size_t default_limit = 30000;
constexpr int margin = 1;  // between the edge of the client area and the text

struct EditState {
  std::string text;
  size_t anchor = 0;  // the fixed end of the selection
  size_t caret = 0;   // the moving end, where the caret is
  int scroll = 0;     // pixels of text scrolled out on the left
  size_t limit = default_limit;
  HFONT font = nullptr;
  bool focused = false;
  bool selecting = false;  // the mouse is dragging a selection
  bool modified = false;
  // What undo puts back: `removed` in place of the `inserted` characters from
  // `position`. Typing on where the last insertion ended, or deleting on from
  // where the last deletion was, adds to the same record, so that a typed run
  // is undone as one.
  struct {
    size_t position = 0;
    size_t inserted = 0;
    std::string removed;
  } undo;

  size_t start() const { return std::min(anchor, caret); }
  size_t end() const { return std::max(anchor, caret); }
};

EditState* state(HWND window) { return state_of<EditState>(window); }
DWORD style_of(HWND window) { return static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)); }

// The text as it is shown: stars for a password.
std::string shown(HWND window, const EditState& s) {
  return (style_of(window) & ES_PASSWORD) ? std::string(s.text.size(), '*') : s.text;
}

// One device context for measuring, kept for the life of the process.
HDC measuring_dc(HFONT font) {
  static HDC dc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  SelectObject(dc, font_or_default(font));
  return dc;
}

int text_width(HWND window, const EditState& s, size_t count) {
  std::string text = shown(window, s);
  SIZE size{};
  GetTextExtentPoint32A(measuring_dc(s.font), text.c_str(), static_cast<int>(std::min(count, text.size())), &size);
  return size.cx;
}

int line_height(const EditState& s) {
  TEXTMETRICA metrics{};
  GetTextMetricsA(measuring_dc(s.font), &metrics);
  return metrics.tmHeight;
}

RECT text_rect(HWND window, const EditState& s) {
  RECT r;
  GetClientRect(window, &r);
  r.left += margin;
  r.right = std::max(r.left, r.right - margin);
  r.top += (r.bottom - r.top > line_height(s) + 1) ? 1 : 0;
  return r;
}

// The character boundary nearest to a client x coordinate.
size_t position_at(HWND window, const EditState& s, int x) {
  RECT r = text_rect(window, s);
  int target = x - r.left + s.scroll;
  size_t best = 0;
  int best_distance = std::abs(target);
  for (size_t i = 1; i <= s.text.size(); ++i) {
    int distance = std::abs(text_width(window, s, i) - target);
    if (distance < best_distance) {
      best = i;
      best_distance = distance;
    }
  }
  return best;
}

void redraw(HWND window) { InvalidateRect(window, nullptr, TRUE); }

// Scrolls so that the caret is inside the text rectangle.
void scroll_to_caret(HWND window, EditState& s) {
  RECT r = text_rect(window, s);
  int width = r.right - r.left;
  int caret_x = text_width(window, s, s.caret);
  int full = text_width(window, s, s.text.size());
  if (caret_x < s.scroll) s.scroll = caret_x;
  if (caret_x > s.scroll + width - 1) s.scroll = caret_x - width + 1;
  s.scroll = std::clamp(s.scroll, 0, std::max(0, full - width + 1));
}

void select(HWND window, EditState& s, size_t anchor, size_t caret) {
  s.anchor = std::min(anchor, s.text.size());
  s.caret = std::min(caret, s.text.size());
  scroll_to_caret(window, s);
  redraw(window);
}

bool read_only(HWND window) { return style_of(window) & ES_READONLY; }

bool can_undo(const EditState& s) { return s.undo.inserted != 0 || !s.undo.removed.empty(); }

void forget_undo(EditState& s) {
  s.undo.inserted = 0;
  s.undo.removed.clear();
}

// Records the replacement of [start, start + removed.size()) by `inserted` characters.
void remember_for_undo(EditState& s, size_t start, const std::string& removed, size_t inserted) {
  auto& u = s.undo;
  if (!removed.empty()) {
    if (u.inserted == 0 && !u.removed.empty() && start == u.position) {
      u.removed += removed;  // Delete, again and again
    } else if (u.inserted == 0 && !u.removed.empty() && start + removed.size() == u.position) {
      u.removed.insert(0, removed);  // Backspace, again and again
      u.position = start;
    } else {
      u.removed = removed;
      u.position = start;
    }
    u.inserted = 0;  // what was typed before a deletion is no longer where it was
  }
  if (inserted == 0) return;
  if (start == u.position || (u.inserted != 0 && start == u.position + u.inserted)) {
    u.inserted += inserted;
  } else {
    u.position = start;
    u.inserted = inserted;
    u.removed.clear();
  }
}

// ES_UPPERCASE and ES_LOWERCASE hold for every text the field takes.
void apply_case(DWORD style, std::string& text) {
  for (char& c : text) {
    if (style & ES_UPPERCASE) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (style & ES_LOWERCASE) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
}

// Whether a replacement can be undone afterwards; Restore is undo's own, which
// leaves what it put back selected.
enum class Undo { Keep, Forget, Restore };

// Replaces the selection, the way typing, pasting and EM_REPLACESEL do, and
// tells the parent (EN_UPDATE, then EN_CHANGE). Returns false when nothing
// changed. The parent may destroy the window when told: callers must not use
// the state after a change.
bool replace_selection(HWND window, EditState& s, std::string inserted, Undo undo) {
  DWORD style = style_of(window);
  apply_case(style, inserted);
  size_t start = s.start(), removed = s.end() - start;
  size_t room = s.limit > s.text.size() - removed ? s.limit - (s.text.size() - removed) : 0;
  bool truncated = inserted.size() > room;
  inserted.resize(std::min(inserted.size(), room));
  std::string before = s.text;
  std::string candidate = s.text.substr(0, start) + inserted + s.text.substr(start + removed);
  if (!(style & ES_AUTOHSCROLL)) {
    // Without sideways scrolling the text must fit: what does not fit is left out.
    RECT r = text_rect(window, s);
    EditState trial = s;
    while (!inserted.empty()) {
      trial.text = candidate;
      if (text_width(window, trial, candidate.size()) <= r.right - r.left) break;
      inserted.pop_back();
      truncated = true;
      candidate = s.text.substr(0, start) + inserted + s.text.substr(start + removed);
    }
  }
  if (truncated) {
    notify_parent(window, EN_MAXTEXT);
    // The parent, told, may have destroyed the field: its state is gone then.
    if (state(window) != &s) return false;
  }
  if (candidate == before && inserted.empty() && removed == 0) return false;
  if (undo == Undo::Forget)
    forget_undo(s);
  else
    remember_for_undo(s, start, before.substr(start, removed), inserted.size());
  s.text = candidate;
  s.caret = start + inserted.size();
  s.anchor = undo == Undo::Restore ? start : s.caret;
  s.modified = true;
  DefWindowProcA(window, WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(s.text.c_str()));  // keeps the window's own text in step
  scroll_to_caret(window, s);
  redraw(window);
  notify_parent(window, EN_UPDATE);
  if (IsWindow(window)) notify_parent(window, EN_CHANGE);
  return true;
}

// The selection onto the clipboard as CF_TEXT, as Windows' edit control puts it.
void copy(HWND window, const EditState& s) {
  if (s.start() == s.end() || (style_of(window) & ES_PASSWORD)) return;
  const std::string text = s.text.substr(s.start(), s.end() - s.start());
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  if (memory == nullptr) return;
  std::memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
  GlobalUnlock(memory);
  if (!OpenClipboard(window)) {
    GlobalFree(memory);
    return;
  }
  EmptyClipboard();
  if (SetClipboardData(CF_TEXT, memory) == nullptr) GlobalFree(memory);
  CloseClipboard();
}

// The clipboard's text, empty when it holds none.
std::string clipboard_text(HWND window) {
  std::string text;
  if (!OpenClipboard(window)) return text;
  if (HANDLE memory = GetClipboardData(CF_TEXT)) {
    if (const char* bytes = static_cast<const char*>(GlobalLock(memory))) {
      text.assign(bytes, strnlen(bytes, GlobalSize(memory)));
      GlobalUnlock(memory);
    }
  }
  CloseClipboard();
  return text;
}

void clear(HWND window, EditState& s) {
  if (!read_only(window) && s.start() != s.end()) replace_selection(window, s, "", Undo::Keep);
}

void cut(HWND window, EditState& s) {
  copy(window, s);
  clear(window, s);
}

void paste(HWND window, EditState& s) {
  if (read_only(window)) return;
  // Only the first line of a text fits a single-line field. What is beyond
  // the length limit is left out, as for typing (replace_selection).
  std::string text = clipboard_text(window);
  text = text.substr(0, text.find_first_of("\r\n"));
  replace_selection(window, s, text, Undo::Keep);
}

// What was typed goes, what it replaced comes back selected, and the record
// turns round: a second undo takes back the first.
void undo(HWND window, EditState& s) {
  if (!can_undo(s) || read_only(window)) return;
  std::string restored = s.undo.removed;
  s.anchor = s.undo.position;
  s.caret = s.undo.position + s.undo.inserted;
  forget_undo(s);
  replace_selection(window, s, restored, Undo::Restore);
}

bool is_word_character(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

size_t word_left(const std::string& text, size_t from) {
  while (from > 0 && !is_word_character(text[from - 1])) --from;
  while (from > 0 && is_word_character(text[from - 1])) --from;
  return from;
}

size_t word_right(const std::string& text, size_t from) {
  while (from < text.size() && is_word_character(text[from])) ++from;
  while (from < text.size() && !is_word_character(text[from])) ++from;
  return from;
}

void key_down(HWND window, EditState& s, int key) {
  bool shift = GetKeyState(VK_SHIFT) < 0;
  bool control = GetKeyState(VK_CONTROL) < 0;
  auto move = [&](size_t to) { select(window, s, shift ? s.anchor : to, to); };
  switch (key) {
    case VK_LEFT: move(control ? word_left(s.text, s.caret) : (s.caret > 0 ? s.caret - 1 : 0)); break;
    case VK_RIGHT: move(control ? word_right(s.text, s.caret) : std::min(s.caret + 1, s.text.size())); break;
    case VK_HOME: move(0); break;
    case VK_END: move(s.text.size()); break;
    case VK_DELETE:
      if (read_only(window) || (shift && control)) break;
      if (s.start() != s.end()) {
        if (shift) copy(window, s);  // Shift+Delete cuts the selection
        clear(window, s);
        break;
      }
      // Without a selection nothing is copied: Shift+Delete takes the character
      // left of the caret, Ctrl+Delete the rest of the line, Delete the next one.
      if (shift)
        s.anchor = s.caret > 0 ? s.caret - 1 : 0;
      else
        s.anchor = control ? s.text.size() : std::min(s.caret + 1, s.text.size());
      clear(window, s);
      break;
    case VK_INSERT:
      if (control)
        copy(window, s);
      else if (shift)
        paste(window, s);
      break;
    default: break;
  }
}

void character(HWND window, EditState& s, unsigned char c) {
  switch (c) {
    case 0x01: select(window, s, 0, s.text.size()); return;  // Ctrl+A, as the version-6 control has it
    case 0x03: copy(window, s); return;                      // Ctrl+C
    case 0x16: paste(window, s); return;                     // Ctrl+V
    case 0x18: cut(window, s); return;                       // Ctrl+X
    case 0x1A: undo(window, s); return;                      // Ctrl+Z
    case '\b':
      if (read_only(window)) return;
      if (s.start() == s.end()) {
        if (s.caret == 0) return;
        s.anchor = s.caret - 1;
      }
      clear(window, s);
      return;
    default: break;
  }
  if (c < 0x20 || c == 0x7F) return;  // Enter, Tab, Escape and other controls do nothing in one line
  if (read_only(window)) {
    MessageBeep(0);
    return;
  }
  if ((style_of(window) & ES_NUMBER) && !std::isdigit(c)) {
    MessageBeep(0);
    return;
  }
  replace_selection(window, s, std::string(1, static_cast<char>(c)), Undo::Keep);
}

void paint(HWND window, HDC dc) {
  RECT client;
  GetClientRect(window, &client);
  HGDIOBJ old_font = SelectObject(dc, font_or_default(state(window)->font));
  bool enabled = IsWindowEnabled(window);
  HBRUSH brush = parent_colours(window, (read_only(window) || !enabled) ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT, dc);
  // The parent's answer ran its code, which may have destroyed the field.
  if (state(window) == nullptr) {
    SelectObject(dc, old_font);
    return;
  }
  EditState& s = *state(window);
  FillRect(dc, &client, brush);
  if (!enabled) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  RECT r = text_rect(window, s);
  IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
  std::string text = shown(window, s);
  int x = r.left - s.scroll;
  bool show_selection = (s.focused || (style_of(window) & ES_NOHIDESEL)) && s.start() != s.end();
  size_t cuts[] = {0, show_selection ? s.start() : text.size(), show_selection ? s.end() : text.size(), text.size()};
  SetBkMode(dc, TRANSPARENT);
  COLORREF ink = GetTextColor(dc);
  for (int part = 0; part < 3; ++part) {
    size_t from = cuts[part], to = cuts[part + 1];
    if (to <= from) continue;
    int left = x + text_width(window, s, from);
    if (part == 1) {
      int right = x + text_width(window, s, to);
      RECT highlight{left, r.top, right, r.top + line_height(s)};
      FillRect(dc, &highlight, GetSysColorBrush(COLOR_HIGHLIGHT));
      SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    } else {
      SetTextColor(dc, ink);
    }
    TextOutA(dc, left, r.top, text.c_str() + from, static_cast<int>(to - from));
  }
  if (s.focused) {
    int caret_x = x + text_width(window, s, s.caret);
    RECT caret{caret_x, r.top, caret_x + 1, r.top + line_height(s)};
    FillRect(dc, &caret, GetSysColorBrush(COLOR_WINDOWTEXT));
  }
  SelectObject(dc, old_font);
}

LRESULT copy_text_out(const std::string& text, WPARAM size, LPARAM buffer) {
  if (size == 0 || buffer == 0) return 0;
  size_t length = std::min<size_t>(text.size(), size - 1);
  text.copy(reinterpret_cast<char*>(buffer), length);
  reinterpret_cast<char*>(buffer)[length] = '\0';
  return static_cast<LRESULT>(length);
}

// The initial text arrives without notifications, with the caret at its start.
LRESULT create(HWND window, EditState& s, const CREATESTRUCTA& create) {
  if (create.lpszName != nullptr && !IS_INTRESOURCE(create.lpszName)) s.text = create.lpszName;
  apply_case(style_of(window), s.text);
  DefWindowProcA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s.text.c_str()));
  return 0;
}

// A new text: the selection and scrolling start afresh, and the parent is told.
LRESULT set_text(HWND window, EditState& s, const char* text) {
  s.text = text != nullptr ? text : "";
  apply_case(style_of(window), s.text);
  s.anchor = s.caret = 0;
  s.scroll = 0;
  s.modified = false;
  forget_undo(s);
  DefWindowProcA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s.text.c_str()));
  redraw(window);
  notify_parent(window, EN_UPDATE);
  if (IsWindow(window)) notify_parent(window, EN_CHANGE);
  return TRUE;
}

LRESULT change_focus(HWND window, EditState& s, bool focused) {
  s.focused = focused;
  redraw(window);
  notify_parent(window, focused ? EN_SETFOCUS : EN_KILLFOCUS);
  return 0;
}

// A click takes the focus (unless the focus change is refused) and starts a
// selection that the mouse drags; Shift keeps the selection's fixed end.
// The state is looked up after the focus change, which runs the parent's code.
LRESULT press(HWND window, WPARAM keys, int x) {
  if (GetFocus() != window) SetFocus(window);
  if (GetFocus() != window) return 0;
  EditState* s = state(window);
  if (s == nullptr) return 0;
  size_t at = position_at(window, *s, x);
  select(window, *s, (keys & MK_SHIFT) ? s->anchor : at, at);
  s->selecting = true;
  SetCapture(window);
  return 0;
}

LRESULT select_word(HWND window, EditState& s, int x) {
  size_t at = position_at(window, s, x);
  size_t from = at, to = at;
  while (from > 0 && is_word_character(s.text[from - 1])) --from;
  while (to < s.text.size() && is_word_character(s.text[to])) ++to;
  select(window, s, from, to);
  return 0;
}

LRESULT drag(HWND window, EditState& s, int x) {
  if (s.selecting && GetCapture() == window) select(window, s, s.anchor, position_at(window, s, x));
  return 0;
}

LRESULT end_drag(HWND window, EditState& s) {
  if (s.selecting) {
    s.selecting = false;
    if (GetCapture() == window) ReleaseCapture();
  }
  return 0;
}

LRESULT get_selection(const EditState& s, WPARAM start, LPARAM end) {
  if (start != 0) *reinterpret_cast<DWORD*>(start) = static_cast<DWORD>(s.start());
  if (end != 0) *reinterpret_cast<DWORD*>(end) = static_cast<DWORD>(s.end());
  return MAKELONG(s.start(), s.end());
}

// -1 as the start removes the selection; an end of -1 (or past the text) is the text's end.
LRESULT set_selection(HWND window, EditState& s, INT start, INT end) {
  if (start == -1)
    select(window, s, s.caret, s.caret);
  else
    select(window, s, static_cast<size_t>(start < 0 ? s.text.size() : start),
           end < 0 ? s.text.size() : static_cast<size_t>(end));
  return 0;
}

LRESULT set_read_only(HWND window, bool read_only) {
  LONG style = GetWindowLongA(window, GWL_STYLE);
  SetWindowLongA(window, GWL_STYLE, read_only ? (style | ES_READONLY) : (style & ~ES_READONLY));
  redraw(window);
  return TRUE;
}

// The caret kept in view after the field or its text changed size.
LRESULT rescroll(HWND window, EditState& s) {
  scroll_to_caret(window, s);
  redraw(window);
  return TRUE;
}

LRESULT set_font(HWND window, EditState& s, HFONT font, bool redraw_now) {
  s.font = font;
  scroll_to_caret(window, s);
  if (redraw_now) redraw(window);
  return 0;
}

int x_of(LPARAM lparam) { return static_cast<SHORT>(LOWORD(lparam)); }

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) attach_state(window, new EditState);
  EditState* state_pointer = state(window);
  if (state_pointer == nullptr) return DefWindowProcA(window, message, wparam, lparam);
  EditState& s = *state_pointer;
  switch (message) {
    case WM_CREATE: return create(window, s, *reinterpret_cast<CREATESTRUCTA*>(lparam));
    case WM_NCDESTROY: return destroy_with_state<EditState>(window, message, wparam, lparam);
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: return paint_message(window, wparam, paint);
    case WM_SETTEXT: return set_text(window, s, reinterpret_cast<const char*>(lparam));
    case WM_GETTEXT: return copy_text_out(s.text, wparam, lparam);
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(s.text.size());
    case WM_SETFOCUS: return change_focus(window, s, true);
    case WM_KILLFOCUS: return change_focus(window, s, false);
    case WM_LBUTTONDOWN: return press(window, wparam, x_of(lparam));
    case WM_LBUTTONDBLCLK: return select_word(window, s, x_of(lparam));
    case WM_MOUSEMOVE: return drag(window, s, x_of(lparam));
    case WM_LBUTTONUP: return end_drag(window, s);
    case WM_CAPTURECHANGED: s.selecting = false; return 0;
    case WM_KEYDOWN: key_down(window, s, static_cast<int>(wparam)); return 0;
    case WM_CHAR: character(window, s, static_cast<unsigned char>(wparam)); return 0;
    case WM_CUT: cut(window, s); return 0;
    case WM_COPY: copy(window, s); return 0;
    case WM_PASTE: paste(window, s); return 0;
    case WM_CLEAR: clear(window, s); return 0;
    case WM_UNDO:
    case EM_UNDO: undo(window, s); return TRUE;  // always, for a single line
    case EM_CANUNDO: return can_undo(s);
    case EM_EMPTYUNDOBUFFER: forget_undo(s); return 0;
    case EM_GETSEL: return get_selection(s, wparam, lparam);
    case EM_SETSEL: return set_selection(window, s, static_cast<INT>(wparam), static_cast<INT>(lparam));
    case EM_REPLACESEL:
      replace_selection(window, s, lparam != 0 ? reinterpret_cast<const char*>(lparam) : "",
                        wparam != 0 ? Undo::Keep : Undo::Forget);
      return 0;
    case EM_LIMITTEXT: s.limit = wparam == 0 ? 0x7FFFFFFE : wparam; return 0;
    case EM_GETLIMITTEXT: return static_cast<LRESULT>(s.limit);
    case EM_GETMODIFY: return s.modified;
    case EM_SETMODIFY: s.modified = wparam != 0; return 0;
    case EM_SETREADONLY: return set_read_only(window, wparam != 0);
    case EM_GETLINECOUNT: return 1;
    case EM_SCROLLCARET: return rescroll(window, s);
    case EM_GETRECT:
      if (lparam != 0) *reinterpret_cast<RECT*>(lparam) = text_rect(window, s);
      return 0;
    case WM_SIZE: rescroll(window, s); return 0;
    case WM_ENABLE: redraw(window); return 0;
    case WM_SETFONT: return set_font(window, s, reinterpret_cast<HFONT>(wparam), LOWORD(lparam) != 0);
    case WM_GETFONT: return reinterpret_cast<LRESULT>(s.font);
    case WM_GETDLGCODE: return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    default: break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

WNDPROC edit_procedure() { return procedure; }

}  // namespace controls
