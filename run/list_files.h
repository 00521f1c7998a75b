// The files of the transfer phase: the transfer list of a source and the
// image files it names, looked up in the working folder, with the faults the
// run raises when one cannot be used (source "transferPhase"). The phase
// reads them as it sends; the transfer plan reads them the same way ahead.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "encoding/bytes.h"
#include "encoding/line_reader.h"

namespace torvane {

// The source of the transfer phase's faults.
inline constexpr const char* kTransferPhaseSource = "transferPhase";

// Opens the list for reading. Faults: no source selected (the name is
// empty), not found in the folder, a folder, not a regular file (a device
// or a pipe), cannot be opened.
std::ifstream openTransferList(const std::filesystem::path& folder, const std::string& listName);

// The next line of the list; false at its end. A read error is a fault.
bool readListLine(LineReader& reader, ByteString& line, const std::string& listName);

// A regular file (or a link to one) counts as existing; nothing there, or a
// folder, counts as missing. Anything else is a fault: it cannot be sent.
// `where` starts each fault's description ("program.txt line 3: ").
bool imageExists(const std::filesystem::path& folder, const std::string& name, const std::string& where);

// Opens an image for reading bytes; a fault when it cannot be.
std::ifstream openImage(const std::filesystem::path& folder, const std::string& name, const std::string& where);

// Length of the open image, read from its start again. More than
// 2147483647 bytes cannot be announced: a fault (overflow), as a length
// that cannot be read is.
int32_t imageSize(std::ifstream& image, const std::string& name, const std::string& where);

}  // namespace torvane
