// Reading the update log back: the last records as a table or as stored.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <ostream>
#include <vector>

namespace torvane {

struct StoredRecord {
  QByteArray line;  // as stored, without its line end
  QJsonObject record;
};

// Every line of the log that holds a JSON object, oldest first. A line cut
// off by a crash or a full disk, or anything else that is not a record, is
// skipped. False (with the reason) when the file exists and cannot be read;
// a missing file holds no records.
bool readRecords(const QString& path, std::vector<StoredRecord>& records, QString& error);

// Prints the last `count` records to `out`: a table (end, outcome, source,
// port, frames, resends, and each image with the first 12 hex digits of its
// SHA-256), or with `asJson` the lines as stored. Returns the exit code:
// 0, or 1 with the reason on `err` when the log cannot be read.
int printHistory(const QString& path, int count, bool asJson, std::ostream& out, std::ostream& err);

}  // namespace torvane
