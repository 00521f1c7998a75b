#include "image/s19_converter.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "encoding/fault.h"
#include "image/s19_image.h"

namespace torvane {

namespace {

namespace fs = std::filesystem;

const char* const kSource = "ConvertS19";

int32_t faultForError(const std::error_code& ec) {
  if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted) {
    return fault::kPermissionDenied;
  }
  if (ec == std::errc::no_such_file_or_directory) return fault::kFileNotFound;
  return fault::kFileAccess;
}

std::string causeText(int32_t number) {
  switch (number) {
    case fault::kPermissionDenied: return "Permission denied";
    case fault::kFileNotFound: return "File not found";
    case fault::kBadFileName: return "Bad file name or number";
    default: return "Path/File access error";
  }
}

[[noreturn]] void throwFileFault(int32_t number, const std::string& detail) {
  throw Fault(number, causeText(number) + ": " + detail, kSource);
}

// Deletes an old output file. A directory of that name, or a file that cannot
// be deleted, is a fault: the conversion must not run into it later.
void removeOldOutput(const fs::path& name) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(name, ec);
  if (ec && status.type() != fs::file_type::not_found) {
    throwFileFault(faultForError(ec), "cannot look up the old " + name.filename().string() + " (" + ec.message() + ")");
  }
  if (status.type() == fs::file_type::not_found) return;
  if (status.type() == fs::file_type::directory) {
    throwFileFault(fault::kFileAccess, name.filename().string() + " is a directory and cannot be replaced");
  }
  fs::remove(name, ec);  // a file that vanished meanwhile is fine
  if (ec && ec != std::errc::no_such_file_or_directory) {
    throwFileFault(faultForError(ec),
                   "the old " + name.filename().string() + " cannot be deleted (" + ec.message() + ")");
  }
}

void openInput(const std::string& name, std::ifstream& in) {
  if (name.empty()) throwFileFault(fault::kBadFileName, "no S-record file name given");
  std::error_code ec;
  const fs::file_status status = fs::status(name, ec);
  if (status.type() == fs::file_type::not_found) throwFileFault(fault::kFileNotFound, name + " does not exist");
  if (status.type() == fs::file_type::directory) throwFileFault(fault::kFileAccess, name + " is a directory");
  errno = 0;
  in.open(name, std::ios::binary);
  if (!in.is_open()) {
    const int err = errno;
    const std::error_code openError(err, std::generic_category());
    throwFileFault(err != 0 ? faultForError(openError) : fault::kFileAccess,
                   name + " cannot be opened" + (err != 0 ? " (" + openError.message() + ")" : ""));
  }
}

// Writes one output file whole. If anything fails, the file is removed again
// so that no half-written image is left behind.
void writeOutput(const fs::path& name, const ByteString& bytes) {
  errno = 0;
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  if (!out.is_open()) {
    const int err = errno;
    const std::error_code openError(err, std::generic_category());
    throwFileFault(
        err != 0 ? faultForError(openError) : fault::kFileAccess,
        name.filename().string() + " cannot be created" + (err != 0 ? " (" + openError.message() + ")" : ""));
  }
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (out.fail()) {
    std::error_code ignored;
    fs::remove(name, ignored);
    throwFileFault(fault::kFileAccess, name.filename().string() + " could not be written");
  }
}

}  // namespace

void removeOldS19Output(const fs::path& outputFolder) {
  removeOldOutput(outputFolder / kCodeFileName);
  removeOldOutput(outputFolder / kVectorFileName);
}

S19Conversion ConvertS19(const std::string& S19FileName, const fs::path& outputFolder) {
  // 1. Old output goes first, so a failed conversion leaves none behind.
  removeOldS19Output(outputFolder);

  // 2.-5. Read every record into the working image.
  WorkingImage image;
  {
    std::ifstream in;
    openInput(S19FileName, in);
    image = readS19(in);
  }

  // 6.-8. Both images in memory before anything is written.
  const CodeImage code = codeImage(image);
  const ByteString vector = vectorImage(image);

  // 9.-10. code.bin, then vector.bin; a failure takes code.bin away again.
  writeOutput(outputFolder / kCodeFileName, code.bytes);
  try {
    writeOutput(outputFolder / kVectorFileName, vector);
  } catch (const Fault&) {
    std::error_code ignored;
    fs::remove(outputFolder / kCodeFileName, ignored);
    throw;
  }

  S19Conversion result;
  result.codeSize = code.bytes.size();
  result.vectorSize = vector.size();
  result.highestAddress = image.highestAddress;
  result.checksum = code.checksum;
  result.dataRecords = image.dataRecords;
  return result;
}

}  // namespace torvane
