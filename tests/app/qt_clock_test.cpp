#include "app/qt_clock.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTest>

namespace torvane {
namespace {

TEST(QtClockTest, seconds_startNearZeroAndGrowMonotonically) {
  QtClock clock;
  const double first = clock.seconds();
  EXPECT_GE(first, 0.0);
  EXPECT_LT(first, 1.0);
  QTest::qSleep(20);
  const double second = clock.seconds();
  EXPECT_GE(second - first, 0.015);
  EXPECT_LT(second - first, 1.0);
  EXPECT_GE(clock.seconds(), second);
}

TEST(QtClockTest, timeOfDayText_hasHoursMinutesAndSeconds) {
  QtClock clock;
  const QString text = QString::fromStdString(clock.timeOfDayText());
  EXPECT_TRUE(QRegularExpression(QStringLiteral("\\d{1,2}\\D\\d{2}\\D\\d{2}")).match(text).hasMatch())
      << text.toStdString();
}

TEST(QtClockTest, timeFormatWithSeconds_addsSecondsOnlyWhereMissing) {
  struct Case {
    const char* format;
    const char* expected;
  };
  const Case cases[] = {
      {"HH:mm:ss", "HH:mm:ss"},  // already has seconds
      {"h:mm:ss AP", "h:mm:ss AP"},
      {"h:mm AP", "h:mm:ss AP"},  // seconds go after the minutes
      {"HH:mm", "HH:mm:ss"},
      {"H.mm", "H.mm.ss"},          // with the locale's own separator
      {"'s'HH:mm", "'s'HH:mm:ss"},  // a quoted s is no seconds field
      {"HH'h'mm", "HH'h'mm:ss"},
      {"h AP", "HH:mm:ss"},  // no minutes either: a plain 24-hour time
      {"", "HH:mm:ss"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(timeFormatWithSeconds(QString::fromUtf8(c.format)), QString::fromUtf8(c.expected)) << c.format;
  }
}

}  // namespace
}  // namespace torvane
