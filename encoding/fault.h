// The one exception type of the system, and every fault number it uses.
//
// Faults are things that went wrong (a port that will not open, a file that
// cannot be read, an argument out of range). Protocol outcomes such as a NAK
// or a time-out are never faults: they are return values.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace torvane {

// Fault numbers. The numbers follow the classic run-time and serial-control
// numbering that operators and older notes of this tool already know.
namespace fault {
inline constexpr int32_t kInvalidArgument = 5;      // an argument outside its valid range
inline constexpr int32_t kOverflow = 6;             // a number does not fit its type
inline constexpr int32_t kOutOfMemory = 7;          // memory could not be had
inline constexpr int32_t kSubscriptOutOfRange = 9;  // an index outside an array
inline constexpr int32_t kTypeMismatch = 13;        // text that should be a number is not
inline constexpr int32_t kInternal = 51;            // an unexpected internal error
inline constexpr int32_t kBadFileName = 52;         // a file name that cannot be used
inline constexpr int32_t kFileNotFound = 53;        // a named file does not exist
inline constexpr int32_t kPermissionDenied = 70;    // the file exists but may not be opened
inline constexpr int32_t kFileAccess = 75;          // a file could not be read, written or deleted
inline constexpr int32_t kPortInvalid = 8002;       // no serial device behind the COM number
inline constexpr int32_t kPortAlreadyOpen = 8005;   // the port is open (or in use elsewhere)
inline constexpr int32_t kPortNotOpen = 8012;       // an operation needs an open port
inline constexpr int32_t kPortPermission = 8015;    // the device exists but access is denied
inline constexpr int32_t kPortIo = 8018;            // reading, writing or configuring the device failed
inline constexpr int32_t kPortVanished = 8020;      // the device went away while in use
inline constexpr int32_t kUpdateRefused = 8100;     // an update checked before the port opened and refused (SHA256SUMS)
inline constexpr int32_t kWindowClosed = 32700;     // the window was closed while a procedure ran
inline constexpr int32_t kCancel = 32755;           // the operator cancelled (common dialog cancel code)
}  // namespace fault

class Fault : public std::runtime_error {
 public:
  Fault(int32_t number, std::string description, std::string source)
      : std::runtime_error(description),
        number_(number),
        description_(std::move(description)),
        source_(std::move(source)) {}
  ~Fault() override;

  int32_t number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }
  const std::string& source() const noexcept { return source_; }

 private:
  int32_t number_;
  std::string description_;
  std::string source_;
};

// Text for a fault description: in double quotes, control bytes as \xNN,
// cut after 60 characters with "...".
std::string quotedForFault(const std::string& text);

}  // namespace torvane
