// The window's design read as every front end reads it: its numbers where
// they are designed, and the rules the table as a whole keeps.
#include "form/window_design.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace torvane::form {
namespace {

bool inside(const TwipRect& inner, int width, int height) {
  return inner.left >= 0 && inner.top >= 0 && inner.left + inner.width <= width && inner.top + inner.height <= height;
}

TEST(WindowDesign, window_hasItsCaptionSizeAndFonts) {
  const WindowDesign& w = windowDesign();
  EXPECT_STREQ(w.caption, "Orvell TorVane\u00AE Update Program");
  EXPECT_EQ(pixels(w.clientWidthTwips), 481);  // 7215 x 4470 twips at 96 dpi
  EXPECT_EQ(pixels(w.clientHeightTwips), 298);
  EXPECT_STREQ(w.statusFont.family, "Arial");
  EXPECT_EQ(w.statusFont.points, 9);
  EXPECT_EQ(w.statusFont.weight, 700);
  EXPECT_EQ(pixels(15), 1);
  EXPECT_EQ(pixels(7), 0);
  EXPECT_EQ(pixels(8), 1);
  EXPECT_EQ(pixels(1440, 144), 144);
}

TEST(WindowDesign, controls_sitInsideTheirParentsWithUniqueNamesAndTabIndexes) {
  std::set<std::string> names;
  std::set<int> tabIndexes;
  for (const ControlDesign& c : controls()) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(names.insert(c.name).second);
    EXPECT_TRUE(tabIndexes.insert(c.tabIndex).second);
    const ControlDesign* parent = c.parent ? findControl(c.parent) : nullptr;
    if (c.parent) {
      ASSERT_NE(parent, nullptr);
      EXPECT_EQ(parent->kind, ControlKind::GroupBox);
      EXPECT_TRUE(inside(c.place, parent->place.width, parent->place.height));
    } else {
      EXPECT_TRUE(inside(c.place, windowDesign().clientWidthTwips, windowDesign().clientHeightTwips));
    }
  }
  EXPECT_EQ(names.size(), 22u);
}

TEST(WindowDesign, rowsOfTheDesign_carryTheirNumbersCaptionsKeysAndTips) {
  const ControlDesign* status = findControl("lblStatus");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->kind, ControlKind::StatusLine);
  EXPECT_STREQ(status->caption, "Status: ");
  EXPECT_EQ(status->place.left, 240);
  EXPECT_EQ(status->place.height, 585);
  const ControlDesign* start = findControl("cmdStart");
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(accessKey(start->caption), 'S');
  EXPECT_EQ(shownCaption(start->caption), "Start Update");
  EXPECT_STREQ(start->toolTip, "Start the download process");
  EXPECT_EQ(accessKey(findControl("cmdConfig")->caption), 'C');
  EXPECT_EQ(accessKey("Program only"), '\0');
  EXPECT_EQ(portOption(3).place.width, 855);
  EXPECT_STREQ(portOption(5).name, "OptCom5");
  EXPECT_STREQ(portOption(4).name, "optCom4");
  EXPECT_STREQ(sourceOption(Source::EmergencyRestore).name, "OptER");
  const std::string tip = sourceOption(Source::EmergencyRestore).toolTip;
  EXPECT_NE(tip.find("at \"Waiting for STX\". Restores"), std::string::npos);
  EXPECT_NE(tip.back(), '.');
}

TEST(WindowDesign, initialState_programOnlyAndCom1SelectedLorebankAndThreeHoursHidden) {
  std::set<std::string> selected, hidden;
  for (const ControlDesign& c : controls()) {
    if (c.selected) selected.insert(c.name);
    if (!c.visible) hidden.insert(c.name);
  }
  EXPECT_EQ(selected, (std::set<std::string>{"optPrgm", "optCom1"}));
  EXPECT_EQ(hidden, (std::set<std::string>{"optCS", "Label1"}));
}

TEST(WindowDesign, tabOrder_visitsButtonsAndOptionsByTabIndex) {
  std::string order;
  int last = -1;
  for (const ControlDesign* c : tabOrder()) {
    EXPECT_GT(c->tabIndex, last);
    last = c->tabIndex;
    order += std::string(c->name) + " ";
  }
  EXPECT_EQ(order,
            "optCom1 optCom2 optCS optPrgm optAll optCom3 optCom4 cmdStart OptCom5 OptCom6 OptER OptCom7 OptCom8 "
            "OptCom9 cmdConfig ");
}

TEST(WindowDesign, progressBand_liesBetweenStatusLineAndSourceBoxAsWideAsTheStatusLine) {
  const TwipRect band = windowDesign().progressPlace;
  const TwipRect status = findControl("lblStatus")->place;
  EXPECT_EQ(band.left, status.left);
  EXPECT_EQ(band.width, status.width);
  EXPECT_GE(band.top, status.top + status.height);
  EXPECT_LE(band.top + band.height, findControl("Frame1")->place.top);
}

}  // namespace
}  // namespace torvane::form
