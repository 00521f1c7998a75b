#include "app/frmdl.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "app/app_icon.h"
#include "app/status_label.h"
#include "form/window_design.h"

namespace torvane {

namespace {

using form::ControlDesign;
using form::ControlKind;

QString text(const char* utf8) { return QString::fromUtf8(utf8); }

QFont fontOf(const form::FontDesign& design) {
  QFont font(text(design.family), design.points);
  font.setWeight(QFont::Weight(design.weight));
  return font;
}

QRect pixelRect(const form::TwipRect& r) {
  return {form::pixels(r.left), form::pixels(r.top), form::pixels(r.width), form::pixels(r.height)};
}

QWidget* createControl(const ControlDesign& d, QWidget* parent) {
  const QString caption = text(d.caption);
  QWidget* w = nullptr;
  switch (d.kind) {
    case ControlKind::StatusLine:
    case ControlKind::Label: {
      auto* label = d.kind == ControlKind::StatusLine ? new StatusLabel(caption, parent) : new QLabel(caption, parent);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      w = label;
      break;
    }
    case ControlKind::GroupBox: w = new QGroupBox(caption, parent); break;
    case ControlKind::Button: {
      auto* button = new QPushButton(caption, parent);  // Qt reads the ampersand as the access key, as designed
      button->setAutoDefault(false);
      button->setDefault(false);
      w = button;
      break;
    }
    case ControlKind::Option:
      w = new QRadioButton(caption, parent);  // exclusive within its group box
      break;
  }
  w->setObjectName(text(d.name));
  w->setGeometry(pixelRect(d.place));
  if (d.toolTip) w->setToolTip(text(d.toolTip));
  return w;
}

}  // namespace

QString windowCaption() { return text(form::windowDesign().caption); }

Frmdl::Frmdl(SerialPort& port, Clock& clock, std::filesystem::path workingFolder, const OpsLayer& layer)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      statusText_(form::findControl("lblStatus")->caption),
      ownOps_(*this),
      context_(port, layer ? layer(ownOps_) : ownOps_, clock, std::move(workingFolder)),
      controller_(context_, *this) {
  const form::WindowDesign& design = form::windowDesign();
  setObjectName(text(design.name));
  setWindowTitle(windowCaption());
  setWindowIcon(appIcon());
  setFont(fontOf(design.font));
  setFixedSize(form::pixels(design.clientWidthTwips), form::pixels(design.clientHeightTwips));
  buildControls();
  setTabOrder();
  buildProgressBar();

  delay_ = new QTimer(this);
  delay_->setObjectName(text(design.timerName));
  delay_->setTimerType(Qt::PreciseTimer);
  connect(delay_, &QTimer::timeout, this, [this] { delay_Timer(context_.state); });
}

Frmdl::~Frmdl() = default;

void Frmdl::buildControls() {
  for (const ControlDesign& d : form::controls()) {
    QWidget* parent = d.parent ? findChild<QWidget*>(text(d.parent)) : this;
    QWidget* w = createControl(d, parent);
    if (!d.visible) w->setVisible(false);
    if (auto* option = qobject_cast<QRadioButton*>(w)) {
      if (d.source) sourceOptions_[static_cast<std::size_t>(*d.source)] = option;
      if (d.com > 0) portOptions_[static_cast<std::size_t>(d.com - 1)] = option;
      if (d.selected) option->setChecked(true);
    }
  }
  lblStatus_ = findChild<QLabel*>(QStringLiteral("lblStatus"));
  lblTime_ = findChild<QLabel*>(QStringLiteral("lblTime"));
  lblStatus_->setFont(fontOf(form::windowDesign().statusFont));
  lblStatus_->setWordWrap(true);  // CR LF starts a new line; whole lines only (StatusLabel)
  lblTime_->setWordWrap(true);

  connect(findChild<QPushButton*>(QStringLiteral("cmdStart")), &QPushButton::clicked, this, &Frmdl::onStartClicked);
  connect(findChild<QPushButton*>(QStringLiteral("cmdConfig")), &QPushButton::clicked, this,
          &Frmdl::onConfigureClicked);
}

void Frmdl::buildProgressBar() {
  const form::WindowDesign& design = form::windowDesign();
  prgTransfer_ = new QProgressBar(this);
  prgTransfer_->setObjectName(text(design.progressName));
  prgTransfer_->setGeometry(pixelRect(design.progressPlace));
  prgTransfer_->setFocusPolicy(Qt::NoFocus);
  prgTransfer_->setTextVisible(true);
  prgTransfer_->setAlignment(Qt::AlignCenter);
  prgTransfer_->setFont(fontOf(design.progressFont));
  prgTransfer_->setRange(0, 1);
  prgTransfer_->setValue(0);
  prgTransfer_->setVisible(false);
}

// Labels and group boxes take no focus: the chain is the buttons and options.
void Frmdl::setTabOrder() {
  QWidget* previous = nullptr;
  for (const ControlDesign* d : form::tabOrder()) {
    QWidget* w = findChild<QWidget*>(text(d->name));
    if (previous) QWidget::setTabOrder(previous, w);
    previous = w;
  }
}

void Frmdl::closeEvent(QCloseEvent* event) {
  if (controller_.closeRequested()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void Frmdl::showModalBox(const std::string& message) {
  QMessageBox box(QMessageBox::NoIcon, windowCaption(), QString::fromStdString(message), QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void Frmdl::closeWindowSoon() { QTimer::singleShot(0, this, &QWidget::close); }

// ---------------------------------------------------------------------------
// What the procedures ask of the window

void Frmdl::setStatusLine(const std::string& status) {
  statusText_ = status;
  QString shown = QString::fromStdString(status);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  lblStatus_->setText(shown);
}

void Frmdl::holdStatusLine(bool held) { lblStatus_->setUpdatesEnabled(!held); }

void Frmdl::setTimeLine(const std::string& line) {
  QString shown = QString::fromStdString(line);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  lblTime_->setText(shown);
}

bool Frmdl::sourceChecked(Source source) const { return sourceOptions_[static_cast<std::size_t>(source)]->isChecked(); }

void Frmdl::selectSource(Source source) { sourceOptions_[static_cast<std::size_t>(source)]->setChecked(true); }

bool Frmdl::portOptionChecked(int number) const {
  return number >= kFirstCom && number <= kLastCom && portOptions_[static_cast<std::size_t>(number - 1)]->isChecked();
}

void Frmdl::checkPortOption(int number) {
  if (number < kFirstCom || number > kLastCom) return;
  portOptions_[static_cast<std::size_t>(number - 1)]->setChecked(true);  // the group deselects the others
}

void Frmdl::startDelay(int intervalMs) {
  delay_->setInterval(intervalMs);
  delay_->start();
}

void Frmdl::stopDelay() { delay_->stop(); }

// setRange changes nothing when the range is as it was, so a redraw costs
// only the new value and text.
void Frmdl::setProgress(int value, int maximum, const QString& barText) {
  prgTransfer_->setRange(0, maximum);
  prgTransfer_->setValue(value);
  prgTransfer_->setFormat(barText);
}

void Frmdl::showProgress(bool shown) { prgTransfer_->setVisible(shown); }

}  // namespace torvane
