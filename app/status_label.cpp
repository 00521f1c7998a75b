#include "app/status_label.h"

#include <QList>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>

namespace torvane {

namespace {

struct Line {
  QString text;
  bool endsParagraph = false;
};

// The lines of one paragraph wrapped to `width`.
void wrapParagraph(const QString& paragraph, const QFont& font, int width, QList<Line>& lines) {
  if (paragraph.isEmpty()) {
    lines.append({QString(), true});
    return;
  }
  QTextLayout layout(paragraph, font);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    lines.append({paragraph.mid(line.textStart(), line.textLength()), false});
  }
  layout.endLayout();
  lines.last().endsParagraph = true;
}

}  // namespace

QStringList StatusLabel::shownLines() const {
  const QRect area = contentsRect();
  const int width = std::max(1, area.width());
  QList<Line> lines;
  for (const QString& paragraph : text().split(u'\n')) wrapParagraph(paragraph, font(), width, lines);

  const int fitting = std::max(1, area.height() / std::max(1, fontMetrics().lineSpacing()));
  QStringList shown;
  for (qsizetype i = 0; i < std::min<qsizetype>(fitting, lines.size()); ++i) shown << lines[i].text;
  if (lines.size() <= fitting) return shown;

  // The rest of the text runs on in the last line that fits, cut with "…".
  QString rest;
  for (qsizetype i = fitting - 1; i < lines.size(); ++i) {
    rest += lines[i].text;
    if (lines[i].endsParagraph && !rest.endsWith(u' ')) rest += u' ';
  }
  shown.last() = fontMetrics().elidedText(rest.trimmed() + QChar(0x2026), Qt::ElideRight, width);
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
