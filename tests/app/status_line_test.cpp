// The status line shows whole lines only: a text longer than its fixed two
// lines ends the last one with "…" instead of showing a line cut through.
#include <QImage>
#include <QLabel>
#include <QTest>

#include "app/status_label.h"

#include "tests/app/window_fixture.h"

namespace torvane::testing {
namespace {

const std::string kLongFault =
    " Error: Access to COM1 (/dev/ttyS0) was denied (Permission denied). Add your user to the dialout group "
    "(sudo usermod -aG dialout $USER), log in again and retry.";

class StatusLineTest : public WindowTest {
 protected:
  StatusLineTest() {
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  // Rows of the painted status line that hold dark (text) pixels.
  std::vector<int> inkedRows() {
    const QImage image = label("lblStatus")->grab().toImage();
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (qGray(image.pixel(x, y)) < 100) {
          rows.push_back(y);
          break;
        }
      }
    }
    return rows;
  }

  int wholeLines() const {
    return label("lblStatus")->contentsRect().height() / label("lblStatus")->fontMetrics().lineSpacing();
  }
};

TEST_F(StatusLineTest, longText_paintsNoLineCutThrough) {
  ops.setStatus(kLongFault);
  ASSERT_EQ(wholeLines(), 2);  // 585 twips of bold Arial 9 pt
  const std::vector<int> rows = inkedRows();
  ASSERT_FALSE(rows.empty());
  const int lineSpacing = label("lblStatus")->fontMetrics().lineSpacing();
  EXPECT_LT(rows.back(), wholeLines() * lineSpacing) << "ink below the last whole line";
  EXPECT_GE(rows.back(), lineSpacing) << "the second line is used";
}

TEST_F(StatusLineTest, texts_keepTheirWholeTextWhateverIsShown) {
  ops.setStatus(kLongFault);
  EXPECT_EQ(ops.status(), kLongFault);
  EXPECT_EQ(label("lblStatus")->text(), QString::fromStdString(kLongFault));
}

TEST_F(StatusLineTest, shownLines_areWholeTextWhenItFitsAndElidedWhenNot) {
  struct Row {
    const char* name;
    std::string status;
    QStringList shown;  // empty: the long fault, checked below
  };
  const std::vector<Row> rows = {
      {"one line", " Status: UPDATE COMPLETE", {" Status: UPDATE COMPLETE"}},
      {"CR LF starts the second line",
       " Status: Sending address (15 bytes, 1)\r\n  Waiting for acknowledgement",
       {" Status: Sending address (15 bytes, 1)", "  Waiting for acknowledgement"}},
      {"CR LF at the end leaves an empty line", " Status: Scanning Port COM3\r\n", {" Status: Scanning Port COM3", ""}},
      {"three paragraphs, the third runs into the second", " Status: A\r\nB\r\nC", {" Status: A", "B C\u2026"}},
  };
  auto* label = control<StatusLabel>("lblStatus");
  ASSERT_NE(label, nullptr);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ops.setStatus(row.status);
    EXPECT_EQ(label->shownLines(), row.shown);
  }

  ops.setStatus(kLongFault);
  const QStringList shown = label->shownLines();
  ASSERT_EQ(shown.size(), 2);
  EXPECT_TRUE(shown[0].startsWith(QStringLiteral(" Error: Access to COM1")));
  EXPECT_TRUE(shown[1].endsWith(QChar(0x2026))) << shown[1].toStdString();
  for (const QString& line : shown) EXPECT_LE(label->fontMetrics().horizontalAdvance(line), label->width());
}

// Received noise without blanks wraps inside the word instead of running off
// the right edge.
TEST_F(StatusLineTest, longWord_isBrokenToTheWidth) {
  ops.setStatus(" Com String " + std::string(200, 'A'));
  auto* label = control<StatusLabel>("lblStatus");
  ASSERT_NE(label, nullptr);
  const QStringList shown = label->shownLines();
  ASSERT_EQ(shown.size(), 2);
  EXPECT_TRUE(shown[1].startsWith(u'A'));
  for (const QString& line : shown) EXPECT_LE(label->fontMetrics().horizontalAdvance(line), label->width());
}

}  // namespace
}  // namespace torvane::testing
