#include "app/frmdl.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <vector>

#include "app/app_icon.h"
#include "app/status_label.h"
#include "discovery/scan_ports.h"
#include "encoding/fault.h"
#include "run/update_driver.h"

namespace torvane {

namespace {

// The design is in twips; at 96 DPI a logical pixel is 15 twips.
constexpr int px(int twips) { return (twips + 7) / 15; }

constexpr int kClientWidthTwips = 7215;
constexpr int kClientHeightTwips = 4470;

// The progress bar of the transfer phase: in the free band between the
// status line (bottom 825) and the "Source" box (top 1040), as wide as the
// status line. It is not one of the designed controls and moves none.
constexpr int kProgressLeft = 240, kProgressTop = 840, kProgressWidth = 4860, kProgressHeight = 180;

enum class Kind { StatusLine, Label, GroupBox, Button, Option };

struct ControlDesign {
  const char* name;
  Kind kind;
  const char* parent;  // nullptr: the window itself
  const char* caption;
  int left, top, width, height;  // twips, relative to the parent
  int tabIndex;
  const char* toolTip;
};

// Every control of the window, as designed.
const ControlDesign kControls[] = {
    {"lblStatus", Kind::StatusLine, nullptr, "Status: ", 240, 240, 4860, 585, 0, nullptr},
    {"frmCom", Kind::GroupBox, nullptr, "Comm Port", 5400, 140, 1575, 4095, 1, nullptr},
    {"lblTime", Kind::Label, nullptr, "", 3600, 3680, 1815, 525, 4, nullptr},
    {"Frame1", Kind::GroupBox, nullptr, "Source", 240, 1040, 4860, 2355, 5, nullptr},
    {"cmdStart", Kind::Button, nullptr, "&Start Update", 240, 3600, 1580, 615, 11, "Start the download process"},
    {"cmdConfig", Kind::Button, nullptr, "&Configure Port", 1920, 3600, 1580, 615, 21, "Configure Comm Port"},
    {"optCS", Kind::Option, "Frame1", "Lorebank\u00AE only", 240, 300, 2295, 375, 6, "Download the Lorebank database"},
    {"optPrgm", Kind::Option, "Frame1", "Program only", 240, 420, 2415, 375, 7, "Download the Program only"},
    {"optAll", Kind::Option, "Frame1", "Program and DSD", 240, 1080, 2415, 375, 8,
     "Download the program and Depth and Space Data"},
    {"OptER", Kind::Option, "Frame1", "Emergency Restore", 240, 1740, 2535, 375, 14,
     "Leave TorVane off. Click Start Update. Turn TorVane on at \"Waiting for STX\". Restores program"},
    {"Label1", Kind::Label, "Frame1", "(allow 3 hours)", 2880, 380, 1335, 375, 15, nullptr},
    {"Label2", Kind::Label, "Frame1", "(allow 15 minutes)", 2880, 480, 1335, 375, 16, nullptr},
    {"Label3", Kind::Label, "Frame1", "(allow 15 minutes)", 2880, 1140, 1335, 375, 17, nullptr},
    {"optCom1", Kind::Option, "frmCom", "Com 1", 240, 300, 1215, 375, 2, nullptr},
    {"optCom2", Kind::Option, "frmCom", "Com 2", 240, 700, 1215, 375, 3, nullptr},
    {"optCom3", Kind::Option, "frmCom", "Com 3", 240, 1100, 855, 375, 9, nullptr},
    {"optCom4", Kind::Option, "frmCom", "Com 4", 240, 1500, 975, 375, 10, nullptr},
    {"OptCom5", Kind::Option, "frmCom", "Com 5", 240, 1900, 975, 375, 12, nullptr},
    {"OptCom6", Kind::Option, "frmCom", "Com 6", 240, 2300, 975, 375, 13, nullptr},
    {"OptCom7", Kind::Option, "frmCom", "Com 7", 240, 2700, 975, 375, 18, nullptr},
    {"OptCom8", Kind::Option, "frmCom", "Com 8", 240, 3100, 975, 375, 19, nullptr},
    {"OptCom9", Kind::Option, "frmCom", "Com 9", 240, 3500, 975, 375, 20, nullptr},
};

QWidget* createControl(const ControlDesign& d, QWidget* parent) {
  const QString caption = QString::fromUtf8(d.caption);
  QWidget* w = nullptr;
  switch (d.kind) {
    case Kind::StatusLine:
    case Kind::Label: {
      auto* label = d.kind == Kind::StatusLine ? new StatusLabel(caption, parent) : new QLabel(caption, parent);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      w = label;
      break;
    }
    case Kind::GroupBox: w = new QGroupBox(caption, parent); break;
    case Kind::Button: {
      auto* button = new QPushButton(caption, parent);
      button->setAutoDefault(false);
      button->setDefault(false);
      w = button;
      break;
    }
    case Kind::Option:
      w = new QRadioButton(caption, parent);  // exclusive within its group box
      break;
  }
  w->setObjectName(QString::fromUtf8(d.name));
  w->setGeometry(px(d.left), px(d.top), px(d.width), px(d.height));
  if (d.toolTip) w->setToolTip(QString::fromUtf8(d.toolTip));
  return w;
}

}  // namespace

QString windowCaption() { return QString::fromUtf8("Orvell TorVane\u00AE Update Program"); }

Frmdl::Frmdl(SerialPort& port, Clock& clock, const OpsLayer& layer)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      startProcedure(&torvane::cmdStart_Click),
      scanProcedure(&torvane::ScanPorts),
      statusText_("Status: "),
      ownOps_(*this),
      context_{port, layer ? layer(ownOps_) : ownOps_, clock, {}} {
  setObjectName(QStringLiteral("frmdl"));
  setWindowTitle(windowCaption());
  setWindowIcon(appIcon());
  // The window's own font: small and plain, as the layout was drawn for.
  setFont(QFont(QStringLiteral("Arial"), 8));
  setFixedSize(px(kClientWidthTwips), px(kClientHeightTwips));
  buildControls();
  setTabOrderByIndex();
  buildProgressBar();

  delay_ = new QTimer(this);
  delay_->setObjectName(QStringLiteral("delay"));
  delay_->setTimerType(Qt::PreciseTimer);
  connect(delay_, &QTimer::timeout, this, [this] { delay_Timer(context_.state); });
}

Frmdl::~Frmdl() = default;

void Frmdl::buildControls() {
  for (const ControlDesign& d : kControls) {
    QWidget* parent = d.parent ? findChild<QWidget*>(QString::fromUtf8(d.parent)) : this;
    createControl(d, parent);
  }
  const auto control = [this](const char* name) { return findChild<QWidget*>(QString::fromUtf8(name)); };
  const auto option = [this](const QString& name) { return findChild<QRadioButton*>(name); };
  lblStatus_ = findChild<QLabel*>(QStringLiteral("lblStatus"));
  lblTime_ = findChild<QLabel*>(QStringLiteral("lblTime"));
  sourceOptions_ = {option(QStringLiteral("optCS")), option(QStringLiteral("optPrgm")),
                    option(QStringLiteral("optAll")), option(QStringLiteral("OptER"))};
  for (int i = 0; i < 9; ++i) {
    portOptions_[i] = option(QString(i < 4 ? "optCom%1" : "OptCom%1").arg(i + 1));
  }

  // The status line: bold Arial 9 pt, wrapped, CR LF starting a new line,
  // whole lines only.
  QFont statusFont(QStringLiteral("Arial"), 9);
  statusFont.setWeight(QFont::Bold);
  lblStatus_->setFont(statusFont);
  lblStatus_->setWordWrap(true);
  lblTime_->setWordWrap(true);

  // "Lorebank® only" and "(allow 3 hours)" are never shown.
  control("optCS")->setVisible(false);
  control("Label1")->setVisible(false);

  selectSource(Source::Program);
  checkPortOption(1);

  connect(findChild<QPushButton*>(QStringLiteral("cmdStart")), &QPushButton::clicked, this, &Frmdl::onStartClicked);
  connect(findChild<QPushButton*>(QStringLiteral("cmdConfig")), &QPushButton::clicked, this,
          &Frmdl::onConfigureClicked);
}

void Frmdl::buildProgressBar() {
  prgTransfer_ = new QProgressBar(this);
  prgTransfer_->setObjectName(QStringLiteral("prgTransfer"));
  prgTransfer_->setGeometry(px(kProgressLeft), px(kProgressTop), px(kProgressWidth), px(kProgressHeight));
  prgTransfer_->setFocusPolicy(Qt::NoFocus);
  prgTransfer_->setTextVisible(true);
  prgTransfer_->setAlignment(Qt::AlignCenter);
  QFont small = font();
  small.setPointSize(7);
  prgTransfer_->setFont(small);
  prgTransfer_->setRange(0, 1);
  prgTransfer_->setValue(0);
  prgTransfer_->setVisible(false);
}

void Frmdl::setTabOrderByIndex() {
  std::vector<const ControlDesign*> order;
  for (const ControlDesign& d : kControls) order.push_back(&d);
  std::sort(order.begin(), order.end(), [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });
  QWidget* previous = nullptr;
  for (const ControlDesign* d : order) {
    if (d->kind != Kind::Button && d->kind != Kind::Option) continue;  // labels and boxes take no focus
    QWidget* w = findChild<QWidget*>(QString::fromUtf8(d->name));
    if (previous) setTabOrder(previous, w);
    previous = w;
  }
}

// ---------------------------------------------------------------------------
// Operator input

void Frmdl::onLoad() {
  show();
  runProcedure(scanProcedure);
}

void Frmdl::onStartClicked() { runProcedure(startProcedure); }

void Frmdl::onConfigureClicked() { runProcedure(scanProcedure); }

// Runs one procedure to its end. The procedures handle their own faults; an
// exception that still gets here is shown, never let through the event loop.
// A close that arrived meanwhile is carried out once the outermost one ended.
void Frmdl::runProcedure(const std::function<void(FormContext&)>& procedure) {
  if (!procedure || context_.state.closing) return;
  ++running_;
  QString failure;
  try {
    procedure(context_);
  } catch (const Fault& f) {
    failure = QStringLiteral("Unexpected error %1: %2 (%3)")
                  .arg(f.number())
                  .arg(QString::fromStdString(f.description()), QString::fromStdString(f.source()));
  } catch (const std::exception& e) {
    failure = QStringLiteral("Unexpected error: %1").arg(QString::fromUtf8(e.what()));
  } catch (...) {
    failure = QStringLiteral("Unexpected error of unknown kind");
  }
  --running_;
  if (!failure.isEmpty()) showMessageBox(failure);
  if (running_ == 0 && closeRequested_) {
    QTimer::singleShot(0, this, &QWidget::close);
  }
}

// Closing during a procedure: the procedure ends at its next wait pass, and
// the window closes once it has returned.
void Frmdl::closeEvent(QCloseEvent* event) {
  if (running_ > 0) {
    context_.state.closing = true;
    closeRequested_ = true;
    event->ignore();
    return;
  }
  closeRequested_ = false;
  event->accept();
}

// ---------------------------------------------------------------------------
// What the procedures ask of the window

void Frmdl::setStatusLine(const std::string& text) {
  statusText_ = text;
  QString shown = QString::fromStdString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  lblStatus_->setText(shown);
}

void Frmdl::holdStatusLine(bool held) { lblStatus_->setUpdatesEnabled(!held); }

void Frmdl::setTimeLine(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  lblTime_->setText(shown);
}

void Frmdl::showMessageBox(const QString& text) {
  if (context_.state.closing) return;  // the operator has asked the window to go
  if (messageBoxHook) {
    messageBoxHook(text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, windowCaption(), text, QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool Frmdl::sourceChecked(Source source) const { return sourceOptions_[static_cast<std::size_t>(source)]->isChecked(); }

void Frmdl::selectSource(Source source) { sourceOptions_[static_cast<std::size_t>(source)]->setChecked(true); }

bool Frmdl::portOptionChecked(int number) const {
  return number >= 1 && number <= 9 && portOptions_[static_cast<std::size_t>(number - 1)]->isChecked();
}

void Frmdl::checkPortOption(int number) {
  if (number < 1 || number > 9) return;
  portOptions_[static_cast<std::size_t>(number - 1)]->setChecked(true);  // the group deselects the others
}

void Frmdl::startDelay(int intervalMs) {
  delay_->setInterval(intervalMs);
  delay_->start();
}

void Frmdl::stopDelay() { delay_->stop(); }

// setRange changes nothing when the range is as it was, so a redraw costs
// only the new value and text.
void Frmdl::setProgress(int value, int maximum, const QString& text) {
  prgTransfer_->setRange(0, maximum);
  prgTransfer_->setValue(value);
  prgTransfer_->setFormat(text);
}

void Frmdl::showProgress(bool shown) { prgTransfer_->setVisible(shown); }

}  // namespace torvane
