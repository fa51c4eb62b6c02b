#include "main_window.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstdio>

#include "close_signals.h"
#include "connection.h"
#include "echo.h"
#include "events.h"
#include "fonts.h"
#include "gadgets.h"
#include "line.h"
#include "open_failure.h"
#include "requester.h"
#include "serial_port.h"
#include "text.h"
#include "toolkit_windows.h"
#include "views.h"

namespace {

constexpr DWORD MAIN_WINDOW_FLAGS = WS_CAPTION | WS_SYSMENU | WINDOW_SCREEN_CENTERED;  // 0xC80001

struct ApplicationState {
  int event;
  Text settings;
  SerialPort port;
  int exit_code;
};

ApplicationState state;

// What the command line asked for, and the views the values go to: the
// result field always, the others as the options say.
ProgramOptions program_options;
ResultField result_field;
ValueViews default_views() {
  ValueViews views;
  views.add(result_field);
  return views;
}
ValueViews program_views = default_views();

// Ends the run once --duration has passed, as a close request does.
void CALLBACK end_of_duration(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  PostMessageA(window_handle(WINDOW_MAIN), WM_CLOSE, 0, 0);
}

}  // namespace

void start_support_layers() {
  state = ApplicationState{};
  main_heap = HeapCreate(0, 4096, 0);
  // Texts are std::string values: there is no workspace to start.
  list_heap_init();
  init_fonts();
  windows_init();
  gadgets_init();
  InitCommonControls();
  CoInitialize(nullptr);
}

// The remembered port and group, unless the command line gives its own.
StartValues start_values() {
  StartValues start = remembered_start_values();
  if (program_options.port) start.port = *program_options.port;
  if (program_options.group) start.group = *program_options.group;
  return start;
}

bool build_main_window(const StartValues& start) {
  const DWORD shown = program_options.display == Display::Headless ? WINDOW_INVISIBLE : 0;
  if (window_open(WINDOW_MAIN, 100, 150, 260, 330, "Velmorant Demo", MAIN_WINDOW_FLAGS | shown) == 0) return false;
  set_gadget_parent(window_handle(WINDOW_MAIN));
  create_text_gadget(GADGET_PORT_LABEL, 20, 14, 30, 20, "Port:", 0);
  create_string_gadget(GADGET_PORT, 50, 10, 50, 20, start.port.c_str(), 0);
  create_text_gadget(GADGET_GROUP_LABEL, 120, 14, 40, 20, "Group:", 0);
  create_string_gadget(GADGET_GROUP, 160, 10, 30, 20, start.group.c_str(), 0);
  create_button_gadget(GADGET_CONNECT, 20, 40, 80, 20, "Connect", 0);
  create_progress_bar(GADGET_PROGRESS, 20, 70, 220, 20, 0, 100, 0);
  create_text_gadget(GADGET_LOG, 20, 100, 220, 140, "", TEXT_BORDER | TEXT_NEWEST_LINES);
  create_text_gadget(GADGET_RESULT, 20, 260, 220, 280, "", TEXT_CENTER);
  // Without the font the result is shown in the default one.
  if (load_font(FONT_RESULT, "Arial", 30, 0) != 0) set_gadget_font(GADGET_RESULT, font_handle(FONT_RESULT));
  close_signals_reach(window_handle(WINDOW_MAIN));
  return true;
}

void on_connect() {
  set_gadget_text(GADGET_LOG, "");
  set_gadget_state(GADGET_PROGRESS, 0);
  state.settings = get_gadget_text(GADGET_PORT) + Text(SERIAL_SETTINGS_SUFFIX);
  state.port = open_program_port(state.settings);
  if (state.port == 0) {
    const DWORD error = GetLastError();
    // The first line as it always was; the cause and what to do below it.
    const Text message = open_failure_message(get_gadget_text(GADGET_PORT), error);
    if (program_options.display == Display::Headless) {
      // Nobody could close a box: the text goes to standard error and the run ends.
      std::fprintf(stderr, "%s\n", message.c_str());
      state.exit_code = 1;
      state.event = EV_CLOSE;
      return;
    }
    message_requester("Error", message.c_str(), 0);
    // Ready for the corrected name.
    activate_gadget(GADGET_PORT);
    return;
  }
  remember_start_values({get_gadget_text(GADGET_PORT), get_gadget_text(GADGET_GROUP)});
  run_connection(state.port, state.settings, Conversation{program_options.interval_ms, &program_views});
  state.port = 0;
  // The sequence ends only on a close request, which ends the program too.
  state.event = EV_CLOSE;
}

void log_problem(const std::string& text) {
  if (window_handle(WINDOW_MAIN) == nullptr) return;
  Text log = get_gadget_text(GADGET_LOG);
  log += (log.empty() || log.back() == '\r' ? "" : "\r") + text + "\r";
  if (log.size() > LOG_LIMIT) log.erase(0, log.size() - LOG_LIMIT);
  set_gadget_text(GADGET_LOG, log.c_str());
}

void stop_support_layers() {
  windows_close_all();
  free_all_fonts();
  HeapDestroy(main_heap);
  main_heap = nullptr;
}

namespace {

// Enter in either field presses Connect, as in a dialog whose default button it is.
bool enter_in_a_field(int event) {
  if (event != WM_KEYDOWN || event_key() != VK_RETURN) return false;
  const ObjectNumber focused = active_gadget();
  return focused == GADGET_PORT || focused == GADGET_GROUP;
}

}  // namespace

void run_event_loop() {
  // The user starts at the port field, its text selected so that typing replaces it.
  activate_gadget(GADGET_PORT);
  do {
    state.event = event_wait();
    if ((state.event == EV_GADGET && event_gadget() == GADGET_CONNECT) || enter_in_a_field(state.event)) on_connect();
  } while (state.event != EV_CLOSE);
}

int run_program(const ProgramOptions& options, const std::vector<ValueView*>& views) {
  program_options = options;
  program_views = default_views();
  for (ValueView* view : views) program_views.add(*view);
  install_close_signals();
  // Headless, the window is built but never shown; on Linux it lives on the
  // in-memory display, so that no display system is needed at all.
  if (options.display == Display::Headless) SetEnvironmentVariableA("VELMORANT_DISPLAY", "headless");
  start_support_layers();
  if (build_main_window(start_values())) {
    if (options.duration_seconds)
      SetTimer(nullptr, 0, static_cast<UINT>(*options.duration_seconds * 1000), end_of_duration);
    // As if pressed at once: the connection's first wait paints the window.
    if (options.connect == ConnectAtStart::Yes) on_connect();
    if (state.event != EV_CLOSE) run_event_loop();
    program_views.hand(ValueRecord{LineEvent::Stopped, get_gadget_text(GADGET_PORT)});
  }
  stop_support_layers();
  return state.exit_code;
}
