// frmdl: the tool's one window. It lays out the operator's controls, owns the
// pause timer `delay`, and turns the operator's clicks into calls of the
// procedures (the update run and the port scan). It holds no protocol logic.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <string>

#include "context/form_context.h"

class QCloseEvent;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

namespace torvane {

class Frmdl : public QWidget {
  Q_OBJECT

 public:
  explicit Frmdl(QWidget* parent = nullptr);
  ~Frmdl() override;

  // Hands the window the module state and the seams the procedures use.
  // Call once, before any handler runs; the context outlives the window.
  void attach(FormContext& ctx);

  // The procedures behind the buttons. They default to the real update run
  // and port scan; tests put stand-ins here.
  std::function<void(FormContext&)> startProcedure;
  std::function<void(FormContext&)> scanProcedure;

  // Shows a box in place of the modal message box when set (unattended runs).
  std::function<void(const QString&)> messageBoxHook;

  // --- operator input ---
  void Form_Load();        // shows the window, then scans the ports
  void cmdStart_Click();   // "&Start Update": one update run
  void cmdConfig_Click();  // "&Configure Port": one port scan

  // --- what the procedures ask of the window (through QtWindowOps) ---
  void setStatusLine(const std::string& text);  // CR LF shows as a new line
  const std::string& statusLine() const { return statusText_; }
  void setTimeLine(const std::string& text);
  void showMessageBox(const QString& text);  // modal, OK only, window caption as title

  // True while a handler's procedure runs (nested runs included).
  bool procedureRunning() const { return running_ > 0; }

  // Controls, named as in the window's design.
  QLabel* lblStatus = nullptr;
  QGroupBox* frmCom = nullptr;
  QLabel* lblTime = nullptr;
  QGroupBox* Frame1 = nullptr;
  QPushButton* cmdStart = nullptr;
  QPushButton* cmdConfig = nullptr;
  QRadioButton* optCS = nullptr;
  QRadioButton* optPrgm = nullptr;
  QRadioButton* optAll = nullptr;
  QRadioButton* OptER = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  std::array<QRadioButton*, 9> optCom{};  // optCom1 .. OptCom9
  QTimer* delay = nullptr;                // the pause timer

  // Progress of the transfer phase, in the band between the status line and
  // the "Source" box; shown only while the transfer phase runs.
  QProgressBar* prgTransfer = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildControls();
  void buildProgressBar();
  void setTabOrderByIndex();
  void runProcedure(const std::function<void(FormContext&)>& procedure);

  FormContext* ctx_ = nullptr;
  std::string statusText_;
  int running_ = 0;            // depth of handlers whose procedure is running
  bool closeRequested_ = false;  // a close arrived while a procedure ran
};

// The window's caption, also the title of its message boxes.
QString windowCaption();

}  // namespace torvane
