// The clock of the real program: monotonic seconds since the program started
// (small numbers, exact enough at single precision) and the time of day as
// the locale writes it, with seconds.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include "context/clock.h"

namespace torvane {

class QtClock : public Clock {
 public:
  QtClock() { started_.start(); }

  double seconds() override;
  std::string timeOfDayText() override;

 private:
  QElapsedTimer started_;
};

// A QTime format with a seconds field: `format` itself when it has one,
// otherwise seconds inserted after the minutes with the same separator
// ("h:mm AP" -> "h:mm:ss AP", "H.mm" -> "H.mm.ss").
QString timeFormatWithSeconds(const QString& format);

}  // namespace torvane
