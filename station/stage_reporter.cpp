#include "station/stage_reporter.h"

#include <QJsonObject>

namespace torvane::station {

std::string endReason(RunOutcome outcome, const Fault* fault, int frames, std::optional<Verdict> lastVerdict) {
  if (outcome != RunOutcome::Failed || fault == nullptr || fault->number() != 0 || !lastVerdict) return {};
  const std::string frame = "frame " + std::to_string(frames);
  if (*lastVerdict == Verdict::Can) return "the machine refused " + frame + " (CAN)";
  if (*lastVerdict == Verdict::TimedOut) return "no verdict for " + frame + " within 20 s";
  return {};
}

void StageReporter::runStarted(int, std::optional<Source>, const std::string&, double) {
  outcome_.reset();
  lastVerdict_.reset();
}

// Transfer itself is told by its entries.
void StageReporter::stageReached(RunStage stage) {
  if (stage != RunStage::Transfer) tellStatus(stage);
}

// With the entry itself, so that the supervisor knows what a worker that
// dies had begun to send.
void StageReporter::entryStarted(const std::string& name, std::optional<int32_t> size, uint8_t memoryType,
                                 int32_t address) {
  if (!size) return;  // a missing file ends the run: its end says so
  tellStatus(RunStage::Transfer, {{QStringLiteral("name"), QString::fromStdString(name)},
                                  {QStringLiteral("size"), *size},
                                  {QStringLiteral("memory_type"), memoryType},
                                  {QStringLiteral("address"), address}});
}

void StageReporter::tellStatus(RunStage stage, const QJsonObject& entry) {
  QJsonObject fields{{QStringLiteral("stage"), QString::fromLatin1(stageName(stage))},
                     {QStringLiteral("text"), QString::fromStdString(window_.status())}};
  if (!entry.isEmpty()) fields.insert(QStringLiteral("entry"), entry);
  events_.writeLater(QStringLiteral("status"), fields, clock_.seconds());
}

void StageReporter::runEnded(RunOutcome outcome, const std::string& status, const Fault* fault, double) {
  outcome_ = outcome;
  const RunRecord& r = record_.record();
  QJsonObject end{{QStringLiteral("outcome"), QString::fromLatin1(outcomeName(outcome))},
                  {QStringLiteral("status"), QString::fromStdString(status)},
                  {QStringLiteral("seconds"), r.seconds},
                  {QStringLiteral("frames"), r.frames},
                  {QStringLiteral("resends"), r.resends}};
  if (const std::string why = endReason(outcome, fault, r.frames, lastVerdict_); !why.empty()) {
    end.insert(QStringLiteral("reason"), QString::fromStdString(why));
  }
  if (fault != nullptr) {
    end.insert(QStringLiteral("fault"),
               QJsonObject{{QStringLiteral("number"), fault->number()},
                           {QStringLiteral("description"), QString::fromStdString(fault->description())}});
  }
  events_.write(QStringLiteral("end"), end);
}

}  // namespace torvane::station
