#include "connection.h"

#include <algorithm>
#include <string>
#include <vector>

#include "events.h"
#include "gadgets.h"
#include "identification.h"
#include "main_window.h"
#include "reply.h"
#include "reply_text.h"
#include "toolkit_windows.h"
#include "waiting_cursor.h"
#include "window_service.h"

namespace {

std::vector<std::string>& told_lines() {
  static std::vector<std::string> lines;
  return lines;
}

constexpr auto SERVE_PERIOD = std::chrono::milliseconds(20);

class Connection {
 public:
  Connection(SerialPort port, std::string_view settings, const Conversation& conversation)
      : settings_(settings),
        port_name_(settings.substr(0, settings.find(':'))),
        conversation_(conversation),
        line_(port),
        service_(line_),
        waiting_(window_handle(WINDOW_MAIN)) {}

  // Talks to the interface until the window is closed. A lost interface is
  // told at once, its handle closed, and the port opened again until it is
  // back, when the conversation starts anew.
  void run() {
    while (converse() && await_return()) {
    }
    const bool open = line_.port() != nullptr;
    line_.close();
    if (open) hand(LineEvent::Closed);
  }

 private:
  // One conversation on the open port. True when it ended because the
  // interface was lost, false when the window is closing.
  bool converse() {
    if (identify_interface()) {
      if (rejoined_) log_line("Interface back on " + port_name_);
      if (connect_control_unit()) {
        hand(rejoined_ ? LineEvent::Back : LineEvent::Connected, identification_text_.without_prompt());
        polling_ = true;
        while (poll_group()) {
        }
      }
    }
    polling_ = false;
    if (service_.close_requested() || !line_.lost()) return false;
    line_.close();
    flush_echo();
    hand(LineEvent::Lost);
    log_line("Interface lost on " + port_name_);
    return true;
  }

  // Opens the port again every REOPEN_INTERVAL_MS, the progress bar stepping
  // as in the connect wait and the window served meanwhile. True once the
  // port is open, false when the window was closed.
  bool await_return() {
    progress_ = 0;
    for (;;) {
      for (int step = 0; step < REOPEN_INTERVAL_MS / POLL_INTERVAL_MS; ++step) {
        if (!pause()) return false;
        step_progress();
      }
      if (line_.reopen(settings_)) break;
    }
    rejoined_ = true;
    return true;
  }

  // Repeats "ati\r" until the answers, collected without clearing, contain
  // the identification. False when the window was closed or the line lost
  // meanwhile.
  bool identify_interface() {
    identification_ = Identification{};
    identification_text_.clear();
    for (;;) {
      send(IDENTIFY_REQUEST);
      if (line_.lost() || !pause() || !read_identification()) return false;
      if (identification_.found()) {
        waiting_.answered();
        return true;
      }
    }
  }

  // Reads the bytes waiting after an identification request. A device that
  // never stops sending keeps this going: the window is served meanwhile and
  // a close ends it. False when it did, or when the line was lost.
  bool read_identification() {
    auto served_at = Clock::now();
    while (line_.input_count() > 0) {
      if (read_byte()) {
        identification_.add(read_buffer_[0]);
        identification_text_.add(read_buffer_[0]);
      }
      if (Clock::now() - served_at < SERVE_PERIOD) continue;
      service_.serve_ready_events();
      if (service_.close_requested()) return false;
      served_at = Clock::now();
    }
    return !line_.lost();
  }

  // Sends "atd01\r", steps the progress bar every 100 ms until the first byte
  // of the answer arrives, shows the answer and ends its log line.
  bool connect_control_unit() {
    reply_.clear();  // what a lost line left half read
    send(CONNECT_REQUEST);
    progress_ = 0;
    while (line_.input_count() == 0) {
      if (line_.lost() || !pause()) return false;
      step_progress();
    }
    if (!collect_reply()) return false;
    waiting_.answered();
    echo_.add("\r");
    flush_echo();
    return true;
  }

  // One polling cycle; false once the window has been asked to close or the
  // line was lost. The pause is counted from the moment the last reply was
  // complete, so that showing it does not lengthen the period: that stays
  // 100 ms plus the time the interface takes to answer.
  bool poll_group() {
    pause(reply_complete_at_, conversation_.interval_ms);
    service_.note_event(event_poll());
    // The group is read anew for every request, so an edit takes effect at once.
    const Text group = get_gadget_text(GADGET_GROUP);
    send("08" + group + "\r");
    reply_.clear();
    reply_text_.clear();
    if (collect_reply()) {
      waiting_.answered();
      const std::optional<std::int32_t> speed = reply_.speed_value();
      // The log is emptied right after this reply's echo would reach it
      // (but for what was told from outside, which stays), so the echo is
      // dropped instead. A text that is already shown is not
      // set again: while the speed and the log stay the same nothing is
      // repainted.
      if (speed) echo_.clear();
      const std::string reply = reply_text_.without_prompt();
      hand(LineEvent::ReadOut, reply, group, speed);
      if (speed) show(GADGET_LOG, standing_);
    }
    flush_echo();
    return !service_.close_requested() && !line_.lost();
  }

  // Reads bytes into the reply, echoing each into the log, until no byte waits
  // and the reply holds the prompt. Bytes already waiting after the prompt
  // belong to the same reply. False when it was given up because the window
  // is closing or the line was lost. The echo of the reply's last bytes is
  // left in echo_ for the caller, who knows whether the log keeps it.
  //
  // While bytes keep coming the window is served once per SERVE_PERIOD, not
  // for every byte: one repaint then shows several echoed bytes, and neither
  // a line that never pauses nor a slow one keeps the window waiting longer.
  // The echo follows the same rhythm: the bytes read since the window was
  // last served reach the log in one change just before it is served again,
  // and the caller adds the rest when the reply ends, so the log is whole
  // whenever it can be seen.
  //
  // The bytes that a wait or a count said are waiting are read one by one
  // without asking the line again, and without waiting: only once they are
  // all read is the line asked or waited on anew.
  bool collect_reply() {
    auto served_at = Clock::now();
    DWORD waiting = 0;  // bytes the line said are waiting and not read yet
    for (;;) {
      // Before the prompt the line is not asked whether a byte waits: the
      // wait below returns at once for one that does. Only a reply that holds
      // the prompt needs the answer, to know whether it goes on.
      if (waiting == 0 && reply_.holds_prompt()) waiting = line_.input_count();
      bool took_byte = false;
      if (waiting > 0) {
        --waiting;
        took_byte = true;
        if (read_byte()) {
          reply_.add(read_buffer_[0]);
          reply_text_.add(read_buffer_[0]);
          echo_.add(text_view(read_buffer_));
        }
      } else if (reply_.holds_prompt()) {
        reply_complete_at_ = Clock::now();
        return true;
      }
      if (giving_up()) {
        flush_echo();
        return false;
      }
      const auto now = Clock::now();
      if (now - served_at < SERVE_PERIOD) {
        if (!took_byte) waiting = service_.wait_for_line(std::min(served_at + SERVE_PERIOD, wait_deadline()));
        continue;
      }
      flush_echo();
      if (took_byte) {
        service_.serve_ready_events();
      } else {
        // A close request arriving in the wait ends it, so that the wait
        // continues with the grace's deadline instead of none.
        service_.serve_until(
            wait_deadline(), WindowService::Wake::OnInput,
            service_.close_requested() ? WindowService::OnClose::KeepServing : WindowService::OnClose::Return);
      }
      served_at = Clock::now();
    }
  }

  // Outside polling a close ends any wait at once; during polling the reply
  // under way gets a short grace to complete.
  bool giving_up() const {
    if (line_.lost()) return true;
    if (!service_.close_requested()) return false;
    if (!polling_) return true;
    return Clock::now() >= service_.close_requested_at() + std::chrono::milliseconds(CLOSE_GRACE_MS);
  }

  Clock::time_point wait_deadline() const {
    if (service_.close_requested()) return service_.close_requested_at() + std::chrono::milliseconds(CLOSE_GRACE_MS);
    return Clock::time_point::max();
  }

  // Sets the log to its current text followed by text, keeping its newest bytes.
  void append_log(std::string_view text) {
    Text log = get_gadget_text(GADGET_LOG);
    log += text;
    if (log.size() > LOG_LIMIT) log.erase(0, log.size() - LOG_LIMIT);
    set_gadget_text(GADGET_LOG, log.c_str());
  }

  void show(ObjectNumber gadget, std::string_view text) {
    if (get_gadget_text(gadget) != text) set_gadget_text(gadget, Text(text).c_str());
  }

  // Ends the log's current line, if it has one, and adds text as a line of its own.
  void log_line(const Text& text) {
    const Text log = get_gadget_text(GADGET_LOG);
    append_log((log.empty() || log.back() == '\r' ? "" : "\r") + text + "\r");
  }

  void step_progress() {
    if (++progress_ == PROGRESS_WRAP) progress_ = 0;
    set_gadget_state(GADGET_PROGRESS, progress_);
  }

  void flush_echo() {
    if (echo_.pending().empty()) return;
    append_log(echo_.pending());
    echo_.clear();
  }

  // One byte into the first place of the read buffer; a zero byte then makes
  // it the empty text, so it is added nowhere.
  bool read_byte() { return line_.read(read_buffer_); }

  void send(std::string_view request) {
    std::vector<std::string> told;
    told.swap(told_lines());
    for (const std::string& text : told) {
      log_line(text);
      standing_ += text + "\r";
    }
    line_.write(request);
    waiting_.awaited();
  }

  // Pauses interval_ms from start with the window served. During polling
  // a close request does not cut the pause short; elsewhere it ends the wait,
  // and the result is false.
  bool pause(Clock::time_point start = Clock::now(), int interval_ms = POLL_INTERVAL_MS) {
    service_.serve_until(start + std::chrono::milliseconds(interval_ms), WindowService::Wake::AtDeadline,
                         polling_ ? WindowService::OnClose::KeepServing : WindowService::OnClose::Return);
    return polling_ || !service_.close_requested();
  }

  // Hands a read-out or an event of the line to every view.
  void hand(LineEvent event, std::string_view reply = {}, std::string_view group = {},
            std::optional<std::int32_t> speed = std::nullopt) {
    if (conversation_.views == nullptr) return;
    ValueRecord record;
    record.event = event;
    record.port = port_name_;
    record.group = group;
    record.speed = speed;
    record.reply = reply;
    conversation_.views->hand(record);
  }

  const Text settings_;
  const Text port_name_;
  const Conversation conversation_;
  Line line_;
  WindowService service_;
  WaitingCursor waiting_;
  Identification identification_;
  Reply reply_;
  ReplyText reply_text_;           // the reply for the views
  ReplyText identification_text_;  // the answers to "ati\r" for the views
  Echo echo_;
  char read_buffer_[2] = {' ', '\0'};
  Clock::time_point reply_complete_at_ = Clock::now();
  int progress_ = 0;
  bool polling_ = false;
  bool rejoined_ = false;  // the port was opened again after the interface was lost
  Text standing_;          // told from outside (tell_in_log): kept in the log while polling
};

}  // namespace

void run_connection(SerialPort port, std::string_view settings, const Conversation& conversation) {
  Connection(port, settings, conversation).run();
}

void tell_in_log(std::string_view text) { told_lines().emplace_back(text); }
