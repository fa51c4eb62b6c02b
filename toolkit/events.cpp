// Event retrieval (one window message at a time) and the translation of a
// toolkit window's messages into events.
#include "events.h"
#include "toolkit_internal.h"

#include "gadgets.h"
#include "toolkit_windows.h"

EventState* event_state = nullptr;

namespace {

// All input, posted, sent, timer, paint and hot-key messages.
constexpr DWORD wake_on_any_message = 0x1FF;

bool fetch_message(MSG& message, int timeout) {
  if (timeout == -1) {
    GetMessageA(&message, nullptr, 0, 0);  // a quit message is dispatched like any other
    return true;
  }
  if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) return true;
  if (timeout == 0) return false;
  // One wait only: a wake-up that brings nothing to remove ends the retrieval.
  if (MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(timeout), wake_on_any_message) == WAIT_TIMEOUT)
    return false;
  return PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD) != 0;
}

int take_queued_event() {
  QueuedEvent* oldest = event_state->queue_head;
  event_state->queue_head = oldest->next;
  if (event_state->queue_head == nullptr) event_state->queue_tail = nullptr;
  int event = oldest->event;
  event_state->event_window = oldest->window_number;
  event_state->pending_event = 0;
  free_block(oldest);
  return event;
}

BOOL CALLBACK send_colour_change(HWND child, LPARAM) {
  SendMessageA(child, WM_SYSCOLORCHANGE, 0, 0);
  return TRUE;
}

LRESULT translate_command(HWND window, WPARAM wparam, LPARAM lparam) {
  auto control = reinterpret_cast<HWND>(lparam);
  // A callback may have destroyed the control that sent the command, or freed
  // its gadget, which leaves the control without a number (-1) while its
  // destruction runs on: such a control makes no event.
  if (control != nullptr && (!IsWindow(control) || GetWindowLongPtrA(control, GWLP_ID) == -1)) return 0;
  if (route_gadget_message(control, window, WM_COMMAND, wparam, lparam) != RESULT_DEFAULT) return 0;
  if (control != nullptr) {
    event_state->pending_event = EV_GADGET;
    event_state->event_type = HIWORD(wparam);
    event_state->gadget = GetWindowLongPtrA(control, GWLP_ID);
    if (event_state->gadget == MENU_CONTROL_ID) {
      event_state->gadget = LOWORD(wparam);
      event_state->pending_event = EV_MENU;
    }
  } else if (HIWORD(wparam) == 0) {
    event_state->gadget = static_cast<ObjectNumber>(wparam);
    event_state->pending_event = EV_MENU;
  } else if (LOWORD(wparam) == CMD_TAB_NEXT) {
    focus_tab_stop(0);
  } else if (LOWORD(wparam) == CMD_TAB_PREVIOUS) {
    focus_tab_stop(1);
  } else {
    event_state->gadget = LOWORD(wparam);
    event_state->pending_event = EV_MENU;
  }
  return 0;
}

void translate_item_click(WPARAM wparam, LPARAM lparam) {
  event_state->pending_event = EV_ITEM_CLICK;
  event_state->gadget = static_cast<ObjectNumber>(wparam);
  switch (lparam) {
    case WM_LBUTTONDBLCLK: event_state->event_type = CLICK_LEFT_DOUBLE; break;
    case WM_RBUTTONDBLCLK: event_state->event_type = CLICK_RIGHT_DOUBLE; break;
    case WM_LBUTTONDOWN: event_state->event_type = CLICK_LEFT; break;
    case WM_RBUTTONDOWN: event_state->event_type = CLICK_RIGHT; break;
    default: event_state->pending_event = 0; break;
  }
}

void free_event_data(EventData* data) {
  if (data == nullptr) return;
  free_block(data->block);
  free_block(data);
}

}  // namespace

void event_data_release() {
  free_event_data(event_state->event_data);
  event_state->event_data = nullptr;
}

void event_queue_forget(ObjectNumber window_number) {
  QueuedEvent* kept_tail = nullptr;
  QueuedEvent** link = &event_state->queue_head;
  while (QueuedEvent* queued = *link) {
    if (queued->window_number == window_number) {
      *link = queued->next;
      free_block(queued);
    } else {
      kept_tail = queued;
      link = &queued->next;
    }
  }
  event_state->queue_tail = kept_tail;
}

void forget_posted_data(HWND window) {
  MSG message;
  while (PeekMessageA(&message, window, MSG_WINDOW_DATA, MSG_GADGET_DATA, PM_REMOVE | PM_NOYIELD))
    free_event_data(reinterpret_cast<EventData*>(message.lParam));
}

int event_retrieve(int timeout) {
  event_data_release();
  // A window destroyed by the program itself, not closed by number, may have
  // taken owned or child windows with it.
  windows_unregister_left_classes();
  event_state->event_type = -1;
  if (event_state->queue_head != nullptr) return take_queued_event();

  MSG message{};
  if (!fetch_message(message, timeout)) return EV_NONE;
  sizing_loop_route(message);

  HWND active = GetActiveWindow();
  HACCEL table = window_accelerator_table(active);
  if (table == nullptr || !TranslateAcceleratorA(active, table, &message)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }

  if (event_state->pending_event != 0) {
    int event = event_state->pending_event;
    event_state->pending_event = 0;
    return event;
  }
  event_state->last_wparam = message.wParam;
  event_state->last_lparam = message.lParam;
  return static_cast<int>(message.message);
}

int event_wait() { return event_retrieve(-1); }
int event_poll() { return event_retrieve(0); }

ObjectNumber event_gadget() { return event_state->gadget; }
ObjectNumber event_window() { return event_state->event_window; }
int event_type() { return event_state->event_type; }
int event_key() { return static_cast<int>(event_state->last_wparam); }

void event_queue_append(int event, ObjectNumber window_number) {
  QueuedEvent* newest = event_state->queue_tail;
  if (newest != nullptr && newest->event == event && newest->window_number == window_number) return;
  auto* queued = static_cast<QueuedEvent*>(HeapAlloc(main_heap, HEAP_ZERO_MEMORY, sizeof(QueuedEvent)));
  if (queued == nullptr) return;  // the event is dropped
  queued->event = event;
  queued->window_number = window_number;
  if (newest == nullptr) {
    event_state->queue_head = queued;
  } else {
    newest->next = queued;
  }
  event_state->queue_tail = queued;
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = event_translate(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    window_destroyed(window);
    // The system drops what was posted to a destroyed window; the data records go with it.
    forget_posted_data(window);
  }
  // An MDI frame carries its MDI client in MDI_GADGET_PROPERTY and passes
  // what it leaves to the default on to DefFrameProcA, as an MDI frame must.
  // The window procedure's contract covers MDI frames; no window that
  // window_open makes is one, so this program never takes the branch.
  if (message != WM_SIZE) {
    auto mdi_client = static_cast<HWND>(GetPropA(window, MDI_GADGET_PROPERTY));
    if (mdi_client != nullptr) {
      if (result == RESULT_DEFAULT || message == WM_MENUCHAR || message == WM_SETFOCUS ||
          (message == WM_COMMAND && lparam == 0))
        return DefFrameProcA(window, mdi_client, message, wparam, lparam);
      return result;
    }
  }
  return result == RESULT_DEFAULT ? DefWindowProcA(window, message, wparam, lparam) : result;
}

LRESULT event_translate(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT filtered = sizing_loop_filter(window, message, wparam, lparam);
  if (filtered != RESULT_DEFAULT) return filtered;

  const ToolkitWindowFound found = toolkit_window_above(window);
  const ObjectNumber property = found.property;
  HWND holder = property != 0 ? found.window : nullptr;
  ObjectNumber number = property != 0 ? property - 1 : -1;
  WindowRecord* record = property != 0 ? window_record(number) : nullptr;

  WindowCallback callback =
      record != nullptr && record->callback != nullptr ? record->callback : event_state->global_callback;
  if (callback != nullptr) {
    LRESULT answer = callback(window, message, wparam, lparam);
    if (answer != RESULT_CONTINUE) return answer;
    // The callback may have opened or closed windows, which moves or frees records.
    record = property != 0 ? window_record(number) : nullptr;
  }

  event_state->event_window = number;

  switch (message) {
    case WM_MOVE:
    case WM_CLOSE:
      // A close request only becomes an event: the application decides.
      if (number != -1) event_queue_append(static_cast<int>(message), number);
      return 0;

    case WM_SIZE:
      if (window != holder) return 1;  // sent before the window carries its property
      if (wparam == SIZE_MINIMIZED) return RESULT_DEFAULT;
      event_queue_append(EV_SIZE, number);
      return 0;

    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE) event_queue_append(EV_ACTIVATE, number);
      return 1;

    case WM_ERASEBKGND: {
      LRESULT result = RESULT_DEFAULT;
      if (record != nullptr) {
        if (record->background_brush != nullptr) {
          RECT client;
          GetClientRect(window, &client);
          FillRect(reinterpret_cast<HDC>(wparam), &client, record->background_brush);
          result = 1;
        } else if (record->window == window && record->erase_callback != nullptr) {
          result = record->erase_callback(reinterpret_cast<HDC>(wparam), window);
        }
      }
      event_queue_append(EV_REPAINT, number);
      return result;
    }

    case WM_SYSCOLORCHANGE:
      if (record != nullptr && record->mdi_client == nullptr) EnumChildWindows(window, send_colour_change, 0);
      return RESULT_DEFAULT;

    case WM_NOTIFY: {
      auto* header = reinterpret_cast<const NMHDR*>(lparam);
      return route_gadget_message(header != nullptr ? header->hwndFrom : nullptr, window, message, wparam, lparam);
    }

    case WM_COMMAND: return translate_command(window, wparam, lparam);

    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case MSG_GADGET_FORWARD:
      return route_gadget_message(reinterpret_cast<HWND>(lparam), window, message, wparam, lparam);

    case MSG_ITEM_CLICK: PostMessageA(window, MSG_ITEM_CLICK_DEFERRED, wparam, lparam); return 0;

    case MSG_ITEM_CLICK_DEFERRED: translate_item_click(wparam, lparam); return 0;

    case MSG_FIELD_FOCUS:
      event_state->pending_event = EV_GADGET;
      event_state->gadget = static_cast<ObjectNumber>(wparam);
      event_state->event_type = static_cast<int>(lparam);
      return 0;

    case MSG_WINDOW_DATA:
      event_state->pending_event = EV_WINDOW_DATA;
      event_data_release();  // a second record in one dispatch replaces the first
      event_state->event_data = reinterpret_cast<EventData*>(lparam);
      return 0;

    case MSG_GADGET_DATA:
      event_state->pending_event = EV_GADGET_DATA;
      event_state->gadget = static_cast<ObjectNumber>(wparam);
      event_data_release();
      event_state->event_data = reinterpret_cast<EventData*>(lparam);
      return 0;

    default: return RESULT_DEFAULT;
  }
}

LRESULT route_gadget_message(HWND control, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (control == nullptr) return RESULT_DEFAULT;
  ObjectNumber id = GetWindowLongPtrA(control, GWLP_ID);
  if (reinterpret_cast<ObjectNumber>(GetPropA(control, GADGET_ID_PROPERTY)) != id) return RESULT_DEFAULT;
  GadgetRecord* record = gadget_record(id);
  // The record must also be this control's: a control of another kind of
  // window can carry the same small identifier without the property.
  if (record == nullptr || record->control != control || record->kind->message_hook == nullptr) return RESULT_DEFAULT;
  return record->kind->message_hook(record, window, message, wparam, lparam);
}
