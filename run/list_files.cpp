#include "run/list_files.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include "encoding/fault.h"

namespace torvane {

namespace {

namespace fs = std::filesystem;

std::string errnoText(int err) { return err != 0 ? std::string(": ") + std::strerror(err) : std::string(); }

// A file that exists and cannot be opened: without the right to read it
// (the operator can grant that), or for another reason of the host.
Fault cannotOpen(const std::string& shown, int err) {
  if (err == EACCES || err == EPERM) {
    return Fault(fault::kPermissionDenied, shown + " cannot be opened: permission denied", kTransferPhaseSource);
  }
  return Fault(fault::kFileAccess, shown + " cannot be opened" + errnoText(err), kTransferPhaseSource);
}

}  // namespace

std::ifstream openTransferList(const fs::path& folder, const std::string& listName) {
  if (listName.empty()) {
    throw Fault(fault::kBadFileName, "No source is selected, so there is no transfer list to open",
                kTransferPhaseSource);
  }
  const std::string shown = "Transfer list " + quotedForFault(listName);
  const fs::path path = folder / listName;
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (st.type() == fs::file_type::not_found) {
    throw Fault(fault::kFileNotFound, shown + " was not found in the working folder " + folder.string(),
                kTransferPhaseSource);
  }
  if (st.type() == fs::file_type::directory) {
    throw Fault(fault::kFileNotFound, shown + " is a folder, not a file", kTransferPhaseSource);
  }
  // A device reads as an empty or endless list, and opening a pipe waits for
  // a writer with the window frozen. (A failed look-up is left to the open.)
  if (st.type() != fs::file_type::regular && st.type() != fs::file_type::none) {
    throw Fault(fault::kFileAccess, shown + " is not a regular file", kTransferPhaseSource);
  }
  errno = 0;
  std::ifstream list(path, std::ios::binary);
  if (!list.is_open()) throw cannotOpen(shown, errno);
  return list;
}

bool readListLine(LineReader& reader, ByteString& line, const std::string& listName) {
  const auto readFault = [&](const std::string& why) {
    return Fault(fault::kFileAccess,
                 "Transfer list " + quotedForFault(listName) + " could not be read after line " +
                     std::to_string(reader.lineNumber()) + why,
                 kTransferPhaseSource);
  };
  try {
    if (reader.next(line)) return true;
  } catch (const std::ios_base::failure& e) {
    throw readFault(std::string(": ") + e.what());
  }
  if (reader.failed()) throw readFault("");
  return false;
}

bool imageExists(const fs::path& folder, const std::string& name, const std::string& where) {
  if (name.empty()) return false;
  std::error_code ec;
  const fs::file_status st = fs::status(folder / name, ec);
  switch (st.type()) {
    case fs::file_type::not_found:
    case fs::file_type::directory: return false;
    case fs::file_type::regular: return true;
    case fs::file_type::none:
      throw Fault(fault::kFileAccess, where + quotedForFault(name) + " cannot be looked up: " + ec.message(),
                  kTransferPhaseSource);
    default:
      throw Fault(fault::kFileAccess, where + quotedForFault(name) + " is not a regular file", kTransferPhaseSource);
  }
}

std::ifstream openImage(const fs::path& folder, const std::string& name, const std::string& where) {
  errno = 0;
  std::ifstream image(folder / name, std::ios::binary);
  if (!image.is_open()) throw cannotOpen(where + quotedForFault(name), errno);
  return image;
}

int32_t imageSize(std::ifstream& image, const std::string& name, const std::string& where) {
  image.seekg(0, std::ios::end);
  const std::streamoff size = image.tellg();
  image.seekg(0, std::ios::beg);
  if (!image || size < 0) {
    throw Fault(fault::kFileAccess, where + "the length of " + quotedForFault(name) + " cannot be read",
                kTransferPhaseSource);
  }
  if (size > std::numeric_limits<int32_t>::max()) {
    throw Fault(fault::kOverflow,
                where + quotedForFault(name) + " holds " + std::to_string(size) +
                    " bytes; at most 2147483647 bytes can be sent",
                kTransferPhaseSource);
  }
  return static_cast<int32_t>(size);
}

}  // namespace torvane
