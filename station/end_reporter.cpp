#include "station/end_reporter.h"

#include <QJsonObject>

#include "context/run_record.h"

namespace torvane::station {

// What the recorder throws is dropped here, as the core drops what an
// observer throws: a record never changes the run or what is reported.
template <typename... Params, typename... Args>
void EndReporter::pass(void (RunObserver::*event)(Params...), Args&&... args) noexcept {
  if (recorder_ == nullptr) return;
  try {
    (recorder_->*event)(std::forward<Args>(args)...);
  } catch (...) {
  }
}

void EndReporter::runStarted(int com, std::optional<Source> source, const std::string& list, double at) {
  outcome_.reset();
  startedAt_ = at;
  frames_ = 0;
  resends_ = 0;
  pass(&RunObserver::runStarted, com, source, list, at);
}

void EndReporter::entryStarted(const std::string& name, std::optional<int32_t> size, uint8_t memoryType,
                               int32_t address) {
  pass(&RunObserver::entryStarted, name, size, memoryType, address);
}

void EndReporter::dataFrameSent(const ByteString& fileBytes) { pass(&RunObserver::dataFrameSent, fileBytes); }

void EndReporter::frameSent() {
  ++frames_;
  pass(&RunObserver::frameSent);
}

void EndReporter::frameResent() {
  ++resends_;
  pass(&RunObserver::frameResent);
}

void EndReporter::verdict(Verdict verdict) { pass(&RunObserver::verdict, verdict); }

void EndReporter::entrySent() { pass(&RunObserver::entrySent); }

void EndReporter::runEnded(RunOutcome outcome, const std::string& status, const Fault* fault, double at) {
  pass(&RunObserver::runEnded, outcome, status, fault, at);  // the record first: it outlives a killed station
  outcome_ = outcome;
  QJsonObject end{{QStringLiteral("outcome"), QString::fromLatin1(outcomeName(outcome))},
                  {QStringLiteral("status"), QString::fromStdString(status)},
                  {QStringLiteral("seconds"), at - startedAt_},
                  {QStringLiteral("frames"), frames_},
                  {QStringLiteral("resends"), resends_}};
  if (fault != nullptr) {
    end.insert(QStringLiteral("fault"),
               QJsonObject{{QStringLiteral("number"), fault->number()},
                           {QStringLiteral("description"), QString::fromStdString(fault->description())}});
  }
  events_.write(QStringLiteral("end"), end);
}

}  // namespace torvane::station
