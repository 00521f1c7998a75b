// frmdl: the tool's one window. It lays out the operator's controls, owns the
// pause timer `delay`, and turns the operator's clicks into calls of the
// procedures (the update run and the port scan). It holds no protocol logic.
//
// The window owns its window operations and the FormContext the procedures
// run on, made from the serial port and the clock it is given; both outlive it.
//
// Slots are named on<Event> for what the operator did; cmdStart_Click alone names the update run (run/).
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <string>

#include "app/qt_window_ops.h"
#include "context/form_context.h"

class QCloseEvent;
class QLabel;
class QProgressBar;
class QRadioButton;
class QTimer;

namespace torvane {

class Frmdl : public QWidget {
  Q_OBJECT

 public:
  // What the procedures get as window operations: the window's own, or what
  // `layer` puts over them. It is called once, before the controls exist;
  // what it returns outlives the window.
  using OpsLayer = std::function<WindowOps&(WindowOps& own)>;

  Frmdl(SerialPort& port, Clock& clock, const OpsLayer& layer = {});
  ~Frmdl() override;

  // The procedures behind the buttons. They default to the real update run
  // and port scan; tests put stand-ins here.
  std::function<void(FormContext&)> startProcedure;
  std::function<void(FormContext&)> scanProcedure;

  // Told of every update run (the update log); none: nothing is recorded.
  void setRunObserver(RunObserver* observer) { context_.observer = observer; }

  // Shows a box in place of the modal message box when set (unattended runs).
  std::function<void(const QString&)> messageBoxHook;

  // --- operator input ---
  void onLoad();              // Form_Load: shows the window, then scans the ports
  void onStartClicked();      // "&Start Update": one update run
  void onConfigureClicked();  // "&Configure Port": one port scan

  // --- what the procedures ask of the window (through QtWindowOps) ---
  void setStatusLine(const std::string& text);  // CR LF shows as a new line
  const std::string& statusLine() const { return statusText_; }
  void holdStatusLine(bool held);  // while held, its changes are not painted
  void setTimeLine(const std::string& text);
  void showMessageBox(const QString& text);  // modal, OK only, window caption as title
  bool sourceChecked(Source source) const;
  void selectSource(Source source);          // also the start-up hook TORVANE_SOURCE
  bool portOptionChecked(int number) const;  // optCom1 .. OptCom9
  void checkPortOption(int number);          // the others are deselected
  void startDelay(int intervalMs);
  void stopDelay();
  // The progress bar prgTransfer: value of maximum, with text; shown or hidden.
  void setProgress(int value, int maximum, const QString& text);
  void showProgress(bool shown);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildControls();
  void buildProgressBar();
  void setTabOrderByIndex();
  void runProcedure(const std::function<void(FormContext&)>& procedure);

  // The controls the procedures read and write, named as in the design.
  QLabel* lblStatus_ = nullptr;
  QLabel* lblTime_ = nullptr;
  std::array<QRadioButton*, 4> sourceOptions_{};  // optCS, optPrgm, optAll, OptER, in the order of Source
  std::array<QRadioButton*, 9> portOptions_{};    // optCom1 .. OptCom9
  QTimer* delay_ = nullptr;                       // the pause timer
  // Progress of the transfer phase, in the band between the status line and
  // the "Source" box; shown only while the transfer phase runs.
  QProgressBar* prgTransfer_ = nullptr;
  std::string statusText_;

  QtWindowOps ownOps_;           // its destructor still reaches the controls above
  FormContext context_;          // what the procedures run on
  int running_ = 0;              // depth of handlers whose procedure is running
  bool closeRequested_ = false;  // a close arrived while a procedure ran
};

// The window's caption, also the title of its message boxes.
QString windowCaption();

}  // namespace torvane
