// The window's layout and initial state, checked against the design table.
#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cmath>
#include <vector>

#include "form/window_design.h"
#include "tests/app/window_fixture.h"

namespace torvane::testing {
namespace {

using form::ControlDesign;

QRect pixelRect(const form::TwipRect& r) {
  return {form::pixels(r.left), form::pixels(r.top), form::pixels(r.width), form::pixels(r.height)};
}

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
  for (const ControlDesign& d : form::controls()) {
    SCOPED_TRACE(d.name);
    QWidget* w = control(d.name);
    ASSERT_NE(w, nullptr);
    ASSERT_NE(w->parentWidget(), nullptr);
    EXPECT_EQ(w->parentWidget()->objectName(), QString::fromUtf8(d.parent ? d.parent : "frmdl"));
    EXPECT_EQ(w->geometry(), pixelRect(d.place));
  }
}

TEST_F(FrmdlLayoutTest, everyControl_carriesItsCaptionAndToolTip) {
  for (const ControlDesign& d : form::controls()) {
    SCOPED_TRACE(d.name);
    QWidget* w = control(d.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(captionOf(w), QString::fromUtf8(d.caption));
    EXPECT_EQ(w->toolTip(), QString::fromUtf8(d.toolTip ? d.toolTip : ""));
  }
  EXPECT_FALSE(option("OptER")->toolTip().endsWith(u'.'));
}

TEST_F(FrmdlLayoutTest, shownWindow_hidesLorebankAndThreeHoursOnly) {
  window.show();
  for (const ControlDesign& d : form::controls()) {
    SCOPED_TRACE(d.name);
    EXPECT_EQ(control(d.name)->isVisible(), d.visible);
  }
}

TEST_F(FrmdlLayoutTest, tabKey_visitsControlsInTabIndexOrder) {
  QStringList expected;
  for (const ControlDesign* d : form::tabOrder()) expected << QString::fromUtf8(d->name);
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
