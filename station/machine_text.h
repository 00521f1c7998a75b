// The texts of the station's text views: a machine's live line and the
// summary table.
#pragma once

#include <QString>
#include <vector>

#include "station/machine.h"

namespace torvane::station {

// "COM1  [#######-------]  52%  3.6 kB/s  12 s left  Status: Sending data",
// at most `width` characters.
QString liveLine(const Machine& machine, int labelWidth, int width);

// Port, outcome, time, frames, resends and final status of every machine
// that took part (not those that did not announce themselves); when none
// did, the sentence of nothingFoundText.
QString summaryTable(const std::vector<Machine>& machines);

// What a scan that found no machine listened on, as a sentence.
QString nothingFoundText(const std::vector<Machine>& machines);

// The widest port label of those machines.
int labelWidth(const std::vector<Machine>& machines);

// Bytes per second as "812 B/s", "3.6 kB/s".
QString rateText(double bytesPerSecond);

}  // namespace torvane::station
