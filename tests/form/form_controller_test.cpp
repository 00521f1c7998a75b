// The run and close rules every window follows, and the test hooks, against
// the fakes.
#include "form/form_controller.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <stdexcept>

#include "context/wait.h"
#include "form/test_hooks.h"
#include "tests/fakes/procedure_rig.h"

namespace torvane::form {
namespace {

struct FakeFrontEnd : FormFrontEnd {
  int shown = 0;
  int closes = 0;
  std::vector<std::string> boxes;
  void showWindow() override { ++shown; }
  void showModalBox(const std::string& text) override { boxes.push_back(text); }
  void closeWindowSoon() override { ++closes; }
};

class FormControllerTest : public ::testing::Test {
 protected:
  testing::ProcedureRig<> rig;
  FakeFrontEnd frontEnd;
  FormController controller{rig.ctx, frontEnd};
  std::vector<std::string> order;
};

TEST_F(FormControllerTest, load_showsTheWindowThenScans) {
  controller.scanProcedure = [&](FormContext&) { order.push_back(frontEnd.shown ? "scan after show" : "scan"); };
  controller.load();
  EXPECT_EQ(order, (std::vector<std::string>{"scan after show"}));
}

TEST_F(FormControllerTest, escapingExceptions_areShownInABoxAndGoNoFurther) {
  const std::vector<std::pair<std::function<void()>, std::string>> rows = {
      {[] { throw Fault(75, "disk gone", "here"); }, "Unexpected error 75: disk gone (here)"},
      {[] { throw std::runtime_error("wire cut"); }, "Unexpected error: wire cut"},
      {[] { throw 3; }, "Unexpected error of unknown kind"},
  };
  for (const auto& [thrower, text] : rows) {
    controller.startProcedure = [&](FormContext&) { thrower(); };
    EXPECT_NO_THROW(controller.startClicked());
    ASSERT_FALSE(frontEnd.boxes.empty());
    EXPECT_EQ(frontEnd.boxes.back(), text);
  }
  EXPECT_FALSE(controller.running());
  EXPECT_TRUE(controller.closeRequested());  // nothing runs: the window may close at once
}

TEST_F(FormControllerTest, closeDuringNestedProcedures_endsBothThenClosesOnce) {
  controller.scanProcedure = [&](FormContext& c) {
    EXPECT_FALSE(controller.closeRequested());  // the operator closes during the nested scan
    EXPECT_THROW(yieldOnce(c), Fault);          // which ends at its next wait
    order.push_back("scan ended");
  };
  controller.startProcedure = [&](FormContext& c) {
    controller.configureClicked();
    controller.configureClicked();  // no new procedure while closing
    controller.messageBox("nobody reads this");
    EXPECT_EQ(frontEnd.closes, 0);  // the outer procedure still runs
    EXPECT_TRUE(c.state.closing);
    order.push_back("run ended");
  };
  controller.startClicked();
  EXPECT_EQ(order, (std::vector<std::string>{"scan ended", "run ended"}));
  EXPECT_EQ(frontEnd.closes, 1);
  EXPECT_TRUE(frontEnd.boxes.empty());
}

TEST_F(FormControllerTest, exitAfterFirstRun_printsBoxesAndTheFinalStatusOfTheOutermostRunThenQuits) {
  std::ostringstream out;
  int quits = 0;
  controller.startProcedure = [&](FormContext& c) {
    c.window.setStatus(" Error: x\r\n y");
    controller.messageBox("8002: gone, mscCom");
    if (order.empty()) {
      order.push_back("nested");
      controller.startClicked();  // a second press inside the run
    }
  };
  exitAfterFirstRun(controller, out, [&] { ++quits; });
  controller.startClicked();
  EXPECT_EQ(out.str(),
            "message box: 8002: gone, mscCom\nmessage box: 8002: gone, mscCom\nfinal status:  Error: x\\r\\n y\n");
  EXPECT_EQ(quits, 1);
}

TEST(TestHooks, environment_givesTheHooksAndRefusesAnUnknownSource) {
  const auto hooks = [](std::map<std::string, std::string> env) {
    return readTestHooks([env](const char* name) {
      const auto it = env.find(name);
      return it == env.end() ? std::string() : it->second;
    });
  };
  const TestHooks none = hooks({});
  EXPECT_FALSE(none.autostart || none.exitAfterRun || none.source || !none.error.empty());
  const TestHooks all = hooks({{"TORVANE_AUTOSTART", "1"},
                               {"TORVANE_EXIT_AFTER_RUN", "1"},
                               {"TORVANE_SOURCE", "erestore"},
                               {"TORVANE_SCREENSHOT", "w.png"}});
  EXPECT_TRUE(all.autostart && all.exitAfterRun);
  EXPECT_EQ(all.source, Source::EmergencyRestore);
  EXPECT_EQ(all.screenshot, "w.png");
  EXPECT_EQ(hooks({{"TORVANE_AUTOSTART", "yes"}}).autostart, false);
  EXPECT_EQ(hooks({{"TORVANE_SOURCE", "lorebank"}}).error,
            "TORVANE_SOURCE=lorebank is not a source; use program, all or erestore");
}

TEST(TestHooks, escapedLine_escapesCrAndLfOnly) {
  EXPECT_EQ(escapedLine(" Status: Can not locate.\r\n Make sure"), " Status: Can not locate.\\r\\n Make sure");
  EXPECT_EQ(escapedLine("\n\r"), "\\n\\r");
  EXPECT_EQ(escapedLine(std::string("a\tb\0c", 5)), std::string("a\tb\0c", 5));
}

}  // namespace
}  // namespace torvane::form
