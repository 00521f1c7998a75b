// frmdl: the tool's one window on Qt. It draws the window's design
// (form/window_design.h), owns the pause timer `delay`, and forwards the
// operator's events to the window's controller (form/form_controller.h),
// which runs the procedures. It holds no protocol logic and no run rules.
//
// The window owns its window operations, the FormContext the procedures run
// on (made from the serial port, the clock and the working folder it is
// given; port and clock outlive it) and the controller.
#pragma once

#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>
#include <string>

#include "app/qt_window_ops.h"
#include "context/form_context.h"
#include "form/form_controller.h"

class QCloseEvent;
class QLabel;
class QProgressBar;
class QRadioButton;
class QTimer;

namespace torvane {

class Frmdl : public QWidget, private form::FormFrontEnd {
  Q_OBJECT

 public:
  // What the procedures get as window operations: the window's own, or what
  // `layer` puts over them. It is called once, before the controls exist;
  // what it returns outlives the window.
  using OpsLayer = std::function<WindowOps&(WindowOps& own)>;

  Frmdl(SerialPort& port, Clock& clock, std::filesystem::path workingFolder, const OpsLayer& layer = {});
  ~Frmdl() override;

  // The run and close rules, and the procedures behind the buttons.
  form::FormController& controller() { return controller_; }

  // Told of every update run (the update log); none: nothing is recorded.
  void addRunObserver(RunObserver* observer) {
    if (observer != nullptr) context_.observers.push_back(observer);
  }

  // The front end's check of the images before the port opens (SHA256SUMS).
  void setImageCheck(decltype(FormContext::verifyImages) check) { context_.verifyImages = std::move(check); }

  // --- operator input ---
  void onLoad() { controller_.load(); }                          // Form_Load
  void onStartClicked() { controller_.startClicked(); }          // "&Start Update"
  void onConfigureClicked() { controller_.configureClicked(); }  // "&Configure Port"

  // --- what the procedures ask of the window (through QtWindowOps) ---
  void setStatusLine(const std::string& text);  // CR LF shows as a new line
  const std::string& statusLine() const { return statusText_; }
  void holdStatusLine(bool held);  // while held, its changes are not painted
  void setTimeLine(const std::string& text);
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
  // form::FormFrontEnd
  void showWindow() override { show(); }
  void showModalBox(const std::string& text) override;
  void closeWindowSoon() override;

  void buildControls();
  void buildProgressBar();
  void setTabOrder();

  // The controls the procedures read and write, named as in the design.
  QLabel* lblStatus_ = nullptr;
  QLabel* lblTime_ = nullptr;
  std::array<QRadioButton*, 4> sourceOptions_{};  // optCS, optPrgm, optAll, OptER, in the order of Source
  std::array<QRadioButton*, 9> portOptions_{};    // optCom1 .. OptCom9
  QTimer* delay_ = nullptr;                       // the pause timer
  QProgressBar* prgTransfer_ = nullptr;           // shown only while the transfer phase runs
  std::string statusText_;

  QtWindowOps ownOps_;  // its destructor still reaches the controls above
  FormContext context_;
  form::FormController controller_;
};

// The window's caption, also the title of its message boxes.
QString windowCaption();

}  // namespace torvane
