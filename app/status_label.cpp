#include "app/status_label.h"

#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <string>
#include <string_view>

#include "form/status_lines.h"

namespace torvane {

QStringList StatusLabel::shownLines() const {
  const QRect area = contentsRect();
  const QFontMetrics metrics = fontMetrics();
  const int fitting = area.height() / std::max(1, metrics.lineSpacing());
  const auto width = [&metrics](std::string_view piece) {
    return metrics.horizontalAdvance(QString::fromUtf8(piece.data(), static_cast<qsizetype>(piece.size())));
  };
  QStringList shown;
  for (const std::string& line : form::shownStatusLines(text().toStdString(), area.width(), fitting, width)) {
    shown << QString::fromStdString(line);
  }
  return shown;
}

void StatusLabel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QRect area = contentsRect();
  const int lineSpacing = fontMetrics().lineSpacing();
  int top = area.top();
  for (const QString& line : shownLines()) {
    const QRect lineArea(area.left(), top, area.width(), lineSpacing);
    style()->drawItemText(&painter, lineArea, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, palette(), isEnabled(),
                          line, foregroundRole());
    top += lineSpacing;
  }
}

}  // namespace torvane
