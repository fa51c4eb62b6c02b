// The port and group that last connected are what the next start shows.
#include <gtest/gtest.h>

#include <string>

#include "gadgets.h"
#include "main_window.h"
#include "program_harness.h"

#ifndef _WIN32
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#endif

namespace {

using namespace program_test;

// A settings store as on a first start: a config folder of the test's own,
// or, in the Windows build, the program's key removed.
class FreshSettings {
 public:
  FreshSettings() {
#ifdef _WIN32
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Velmorant\\Demo");
#else
    char folder[] = "/tmp/velmorant-settings-XXXXXX";
    EXPECT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    setenv("XDG_CONFIG_HOME", folder, 1);
#endif
  }
  ~FreshSettings() {
#ifdef _WIN32
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Velmorant\\Demo");
#else
    EXPECT_EQ(system(("rm -rf '" + folder_ + "'").c_str()), 0);
#endif
  }
  FreshSettings(const FreshSettings&) = delete;
  FreshSettings& operator=(const FreshSettings&) = delete;

  std::string folder_;
};

// Scenario groups: group 01 gives 40 km/h.
TEST(StartValues, ThePortAndGroupThatConnectedAreShownAtTheNextStart) {
  FreshSettings settings;
  const StartValues first = start_values();
  EXPECT_EQ(first.port, "COM17");
  EXPECT_EQ(first.group, "05");
  std::string port_shown, group_shown;
  Script connecting;
  connecting
      .act("look, then type com17 and group 01",
           [&] {
             port_shown = text_of(GADGET_PORT);
             group_shown = text_of(GADGET_GROUP);
             set_gadget_text(GADGET_PORT, "com17");
             set_gadget_text(GADGET_GROUP, "01");
           })
      .act("press Connect", press_connect)
      .wait_until("group 01's speed", [] { return text_of(GADGET_RESULT) == "40 km/h"; })
      .act("type group 02 while polling", [] { set_gadget_text(GADGET_GROUP, "02"); });
  { RUN_PROGRAM(run, connecting, 10s, first); }
  EXPECT_EQ(port_shown, "COM17");
  EXPECT_EQ(group_shown, "05");
  ASSERT_TRUE(simulator_saw_close());

  Script looking;
  looking.act("look", [&] {
    port_shown = text_of(GADGET_PORT);
    group_shown = text_of(GADGET_GROUP);
  });
  { RUN_PROGRAM(run, looking, 10s, start_values()); }
  // What connected, not what was typed afterwards.
  EXPECT_EQ(port_shown, "com17");
  EXPECT_EQ(group_shown, "01");

#ifndef _WIN32
  // A settings file that is a link, or holds what no field shows, is passed over.
  const std::string file = settings.folder_ + "/velmorant/demo.conf";
  std::ofstream(settings.folder_ + "/elsewhere") << "port=COM9\ngroup=07\n";
  ASSERT_EQ(unlink(file.c_str()), 0);
  ASSERT_EQ(symlink((settings.folder_ + "/elsewhere").c_str(), file.c_str()), 0);
  EXPECT_EQ(start_values().port, "COM17");
  ASSERT_EQ(unlink(file.c_str()), 0);
  std::ofstream(file) << "port=\x01\ngroup=07\nnonsense\n";
  EXPECT_EQ(start_values().port, "COM17");
  EXPECT_EQ(start_values().group, "07");
#endif
}

}  // namespace
