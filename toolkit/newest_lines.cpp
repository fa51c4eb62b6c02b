// A text gadget that shows the newest lines of its text: the whole text is
// kept for get_gadget_text, and the static control is given only the longest
// tail that its box shows whole, so the last line is always in sight.
#include "toolkit_internal.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

// The static control's own wrapping (SS_LEFT), so a tail measured here is
// laid out as the control lays it out.
UINT static_format(HWND control) {
  UINT format = DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK;
  if (GetWindowLongA(control, GWL_STYLE) & SS_NOPREFIX) format |= DT_NOPREFIX;
  return format;
}

class BoxMeasure {
 public:
  explicit BoxMeasure(HWND control) : control_(control), dc_(GetDC(control)), format_(static_format(control)) {
    GetClientRect(control, &client_);
    auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    if (font == nullptr) font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    if (dc_ != nullptr) old_font_ = SelectObject(dc_, font);
  }
  ~BoxMeasure() {
    if (dc_ == nullptr) return;
    SelectObject(dc_, old_font_);
    ReleaseDC(control_, dc_);
  }
  BoxMeasure(const BoxMeasure&) = delete;
  BoxMeasure& operator=(const BoxMeasure&) = delete;

  bool usable() const { return dc_ != nullptr && client_.right > 0 && client_.bottom > 0; }

  // Whether the text, wrapped at the box's width, is no taller than the box.
  bool fits(std::string_view text) const {
    if (text.empty()) return true;
    RECT bounds{0, 0, client_.right, 0};
    DrawTextA(dc_, text.data(), static_cast<int>(text.size()), &bounds, format_ | DT_CALCRECT);
    return bounds.bottom <= client_.bottom;
  }

 private:
  HWND control_;
  HDC dc_;
  UINT format_;
  RECT client_{};
  HGDIOBJ old_font_ = nullptr;
};

// The longest tail of text that the box shows whole: whole lines where the
// last one fits, else the end of the last line.
std::string_view tail_that_fits(HWND control, std::string_view text) {
  BoxMeasure box(control);
  if (!box.usable() || box.fits(text)) return text;
  // Whole lines first, from the last one back; a line starts after a break
  // ("\r", "\n" or "\r\n"), and a break that ends the text starts none.
  std::size_t start = text.size();
  for (std::size_t at = text.size(); at-- > 0;) {
    const bool after_break = at > 0 && (text[at - 1] == '\r' || text[at - 1] == '\n');
    const bool inside_break = at > 0 && text[at - 1] == '\r' && text[at] == '\n';
    if (at > 0 && (!after_break || inside_break)) continue;
    if (!box.fits(text.substr(at))) break;
    start = at;
  }
  if (start < text.size()) return text.substr(start);
  // Not even the last line fits: its end does. Grow the tail until it no
  // longer fits, then halve the step between the last two lengths.
  std::size_t fitting = 0, step = 64;
  while (fitting + step <= text.size() && box.fits(text.substr(text.size() - fitting - step))) {
    fitting += step;
    step *= 2;
  }
  for (; step > 0; step /= 2) {
    if (fitting + step <= text.size() && box.fits(text.substr(text.size() - fitting - step))) fitting += step;
  }
  return text.substr(text.size() - fitting);
}

void newest_lines_set_text(GadgetRecord* record, const char* text) {
  const std::size_t length = std::strlen(text);
  auto* held = static_cast<char*>(HeapAlloc(main_heap, 0, length + 1));
  if (held == nullptr) return;
  std::memcpy(held, text, length + 1);
  free_block(record->held_text);
  record->held_text = held;
  const std::string shown(tail_that_fits(record->control, std::string_view(held, length)));
  SetWindowTextA(record->control, shown.c_str());
}

std::string newest_lines_get_text(GadgetRecord* record) {
  return record->held_text != nullptr ? std::string(record->held_text) : std::string();
}

void newest_lines_free(GadgetRecord* record) {
  free_block(record->held_text);
  record->held_text = nullptr;
}

}  // namespace

GadgetKind* newest_lines_kind() {
  static GadgetKind kind = [] {
    GadgetKind table{};
    table.kind_id = KIND_TEXT;
    table.table_size = sizeof(GadgetKind);
    table.get_text = newest_lines_get_text;
    table.set_text = newest_lines_set_text;
    table.free = newest_lines_free;
    fill_colour_slots(&table);
    return table;
  }();
  return &kind;
}
