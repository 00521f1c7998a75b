#include "app/qt_clock.h"

#include <QLocale>
#include <QTime>

namespace torvane {

double QtClock::seconds() { return static_cast<double>(started_.nsecsElapsed()) / 1e9; }

std::string QtClock::timeOfDayText() {
  const QLocale locale = QLocale::system();
  const QString format = timeFormatWithSeconds(locale.timeFormat(QLocale::ShortFormat));
  return locale.toString(QTime::currentTime(), format).toStdString();
}

QString timeFormatWithSeconds(const QString& format) {
  // Find the fields outside quoted literals: the seconds, and the end of the minutes.
  bool quoted = false;
  qsizetype minutesStart = -1;
  qsizetype minutesEnd = -1;
  for (qsizetype i = 0; i < format.size(); ++i) {
    const QChar c = format[i];
    if (c == u'\'') {
      quoted = !quoted;
    } else if (!quoted && c == u's') {
      return format;
    } else if (!quoted && c == u'm') {
      if (minutesEnd != i) minutesStart = i;
      minutesEnd = i + 1;
    }
  }
  if (minutesEnd < 0) return QStringLiteral("HH:mm:ss");
  QString separator = QStringLiteral(":");
  if (minutesStart > 0 && !format[minutesStart - 1].isLetter() && format[minutesStart - 1] != u'\'') {
    separator = format[minutesStart - 1];
  }
  QString result = format;
  result.insert(minutesEnd, separator + QStringLiteral("ss"));
  return result;
}

}  // namespace torvane
