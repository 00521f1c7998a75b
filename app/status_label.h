// The status line lblStatus: a label of fixed size that paints the lines
// the window's rule gives (form/status_lines.h): whole lines only, the last
// one ending with "…" when the text needs more. text() always keeps the
// whole text, CR LF having become a line break already.
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
