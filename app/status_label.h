// The status line lblStatus: a label of fixed size that paints whole lines
// only. Its text wraps at word boundaries (anywhere inside a word too long
// for a line), CR LF having become a line break already; when the text needs
// more lines than the height holds, the last line that fits ends with "…".
// text() always keeps the whole text.
#pragma once

#include <QLabel>
#include <QStringList>

namespace torvane {

class StatusLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

  // The lines painted at the label's present size and font.
  QStringList shownLines() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace torvane
