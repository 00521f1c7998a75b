// The window's layout and initial state, checked against the design table.
#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cmath>
#include <vector>

#include "tests/app/window_fixture.h"

namespace torvane::testing {
namespace {

struct Design {
  const char* name;
  const char* parent;
  const char* caption;
  int left, top, width, height;  // twips
  int tabIndex;
  const char* toolTip;
};

const char* const kOptErTip =
    "Leave TorVane off. Click Start Update. Turn TorVane on at \"Waiting for STX\". Restores program";

const std::vector<Design> kDesign = {
    {"lblStatus", "frmdl", "Status: ", 240, 240, 4860, 585, 0, ""},
    {"frmCom", "frmdl", "Comm Port", 5400, 140, 1575, 4095, 1, ""},
    {"lblTime", "frmdl", "", 3600, 3680, 1815, 525, 4, ""},
    {"Frame1", "frmdl", "Source", 240, 1040, 4860, 2355, 5, ""},
    {"cmdStart", "frmdl", "&Start Update", 240, 3600, 1580, 615, 11, "Start the download process"},
    {"cmdConfig", "frmdl", "&Configure Port", 1920, 3600, 1580, 615, 21, "Configure Comm Port"},
    {"optCS", "Frame1", "Lorebank® only", 240, 300, 2295, 375, 6, "Download the Lorebank database"},
    {"optPrgm", "Frame1", "Program only", 240, 420, 2415, 375, 7, "Download the Program only"},
    {"optAll", "Frame1", "Program and DSD", 240, 1080, 2415, 375, 8, "Download the program and Depth and Space Data"},
    {"OptER", "Frame1", "Emergency Restore", 240, 1740, 2535, 375, 14, kOptErTip},
    {"Label1", "Frame1", "(allow 3 hours)", 2880, 380, 1335, 375, 15, ""},
    {"Label2", "Frame1", "(allow 15 minutes)", 2880, 480, 1335, 375, 16, ""},
    {"Label3", "Frame1", "(allow 15 minutes)", 2880, 1140, 1335, 375, 17, ""},
    {"optCom1", "frmCom", "Com 1", 240, 300, 1215, 375, 2, ""},
    {"optCom2", "frmCom", "Com 2", 240, 700, 1215, 375, 3, ""},
    {"optCom3", "frmCom", "Com 3", 240, 1100, 855, 375, 9, ""},
    {"optCom4", "frmCom", "Com 4", 240, 1500, 975, 375, 10, ""},
    {"OptCom5", "frmCom", "Com 5", 240, 1900, 975, 375, 12, ""},
    {"OptCom6", "frmCom", "Com 6", 240, 2300, 975, 375, 13, ""},
    {"OptCom7", "frmCom", "Com 7", 240, 2700, 975, 375, 18, ""},
    {"OptCom8", "frmCom", "Com 8", 240, 3100, 975, 375, 19, ""},
    {"OptCom9", "frmCom", "Com 9", 240, 3500, 975, 375, 20, ""},
};

int pixels(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

QString captionOf(QWidget* w) {
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  return QStringLiteral("<no caption>");
}

class FrmdlLayoutTest : public WindowTest {};

TEST_F(FrmdlLayoutTest, window_hasCaptionFixedClientAreaAndIcon) {
  EXPECT_EQ(window.windowTitle(), QString::fromUtf8("Orvell TorVane® Update Program"));
  EXPECT_EQ(window.size(), QSize(481, 298));  // 7215 x 4470 twips
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  const QList<QSize> sizes = window.windowIcon().availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));
  const QImage icon = window.windowIcon().pixmap(QSize(32, 32)).toImage();
  EXPECT_GT(qAlpha(icon.pixel(14, 14)), 0);  // something is drawn at the hub
}

TEST_F(FrmdlLayoutTest, everyControl_sitsAtItsDesignedPlaceInItsParent) {
  for (const Design& d : kDesign) {
    SCOPED_TRACE(d.name);
    QWidget* w = control(d.name);
    ASSERT_NE(w, nullptr);
    ASSERT_NE(w->parentWidget(), nullptr);
    EXPECT_EQ(w->parentWidget()->objectName(), QString::fromUtf8(d.parent));
    EXPECT_EQ(w->geometry(), QRect(pixels(d.left), pixels(d.top), pixels(d.width), pixels(d.height)));
  }
}

TEST_F(FrmdlLayoutTest, everyControl_carriesItsCaptionAndToolTip) {
  for (const Design& d : kDesign) {
    SCOPED_TRACE(d.name);
    QWidget* w = control(d.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(captionOf(w), QString::fromUtf8(d.caption));
    EXPECT_EQ(w->toolTip(), QString::fromUtf8(d.toolTip));
  }
  EXPECT_FALSE(option("OptER")->toolTip().endsWith(u'.'));
}

TEST_F(FrmdlLayoutTest, shownWindow_hidesLorebankAndThreeHoursOnly) {
  window.show();
  for (const Design& d : kDesign) {
    SCOPED_TRACE(d.name);
    const bool hidden = QByteArray(d.name) == "optCS" || QByteArray(d.name) == "Label1";
    EXPECT_EQ(control(d.name)->isVisible(), !hidden);
  }
}

TEST_F(FrmdlLayoutTest, tabKey_visitsControlsInTabIndexOrder) {
  std::vector<Design> byIndex = kDesign;
  std::sort(byIndex.begin(), byIndex.end(), [](const Design& a, const Design& b) { return a.tabIndex < b.tabIndex; });
  QStringList expected;
  for (const Design& d : byIndex) {
    if (control(d.name)->focusPolicy() & Qt::TabFocus) expected << QString::fromUtf8(d.name);
  }
  ASSERT_EQ(expected.size(), 15);  // two buttons and thirteen option buttons

  QStringList chain;
  QWidget* w = button("cmdStart");  // any focusable control: walk the whole ring once
  do {
    if (w != &window && (w->focusPolicy() & Qt::TabFocus)) chain << w->objectName();
    w = w->nextInFocusChain();
  } while (w != button("cmdStart"));
  // Rotate the ring so that it starts at the lowest tab index.
  const qsizetype first = chain.indexOf(expected.front());
  ASSERT_GE(first, 0);
  QStringList ordered = chain.mid(first) + chain.mid(0, first);
  EXPECT_EQ(ordered, expected);
}

TEST_F(FrmdlLayoutTest, newWindow_showsInitialState) {
  EXPECT_TRUE(option("optPrgm")->isChecked());
  EXPECT_FALSE(option("optAll")->isChecked());
  EXPECT_FALSE(option("OptER")->isChecked());
  EXPECT_FALSE(option("optCS")->isChecked());
  for (int n = 1; n <= 9; ++n) EXPECT_EQ(portOption(n)->isChecked(), n == 1) << n;
  EXPECT_EQ(ops.status(), "Status: ");
  EXPECT_EQ(label("lblStatus")->text(), QStringLiteral("Status: "));
  EXPECT_TRUE(label("lblTime")->text().isEmpty());
  EXPECT_FALSE(delay()->isActive());
  EXPECT_EQ(delay()->interval(), 0);
  EXPECT_EQ(ops.dialogFileName(), "");
}

TEST_F(FrmdlLayoutTest, procedures_runOnThePortAndClockTheWindowWasGiven) {
  duringRun([&](FormContext& c) {
    EXPECT_EQ(&c.mscCom, &port);
    EXPECT_EQ(&c.clock, &clock);
    EXPECT_EQ(c.window.status(), "Status: ");
    EXPECT_FALSE(c.state.closing);
  });
}

TEST_F(FrmdlLayoutTest, statusLine_isBoldArialNinePointAndWraps) {
  const QFont f = label("lblStatus")->font();
  EXPECT_EQ(f.family(), QStringLiteral("Arial"));
  EXPECT_EQ(f.pointSize(), 9);
  EXPECT_EQ(f.weight(), QFont::Weight(700));
  EXPECT_TRUE(label("lblStatus")->wordWrap());
  EXPECT_EQ(label("lblStatus")->textFormat(), Qt::PlainText);
  // Every other control keeps the window's font.
  EXPECT_EQ(button("cmdStart")->font(), window.font());
  EXPECT_EQ(label("Label2")->font(), window.font());
}

TEST_F(FrmdlLayoutTest, buttons_areNeverDefault) {
  for (QPushButton* b : {button("cmdStart"), button("cmdConfig")}) {
    EXPECT_FALSE(b->isDefault());
    EXPECT_FALSE(b->autoDefault());
  }
}

TEST_F(FrmdlLayoutTest, optionButtons_areExclusiveWithinTheirOwnBox) {
  window.show();
  option("optAll")->click();
  EXPECT_TRUE(option("optAll")->isChecked());
  EXPECT_FALSE(option("optPrgm")->isChecked());
  EXPECT_TRUE(portOption(1)->isChecked());  // the port box is untouched

  portOption(5)->click();  // OptCom5
  EXPECT_TRUE(portOption(5)->isChecked());
  EXPECT_FALSE(portOption(1)->isChecked());
  EXPECT_TRUE(option("optAll")->isChecked());  // the source box is untouched

  option("OptER")->click();
  EXPECT_TRUE(option("OptER")->isChecked());
  EXPECT_FALSE(option("optAll")->isChecked());
}

}  // namespace
}  // namespace torvane::testing
