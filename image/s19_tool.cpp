// torvane-s19 FILE: converts a Motorola S-record file into code.bin and
// vector.bin in the current directory.
#include <cstdio>
#include <exception>
#include <string>

#include "encoding/encoders.h"
#include "encoding/fault.h"
#include "image/s19_converter.h"

namespace {

const char kUsage[] = "usage: torvane-s19 FILE\n       torvane-s19 --help\n";

void printHelp() {
  std::printf(
      "%s\n"
      "Converts the Motorola S-record FILE into the two image files that an update\n"
      "sends, both written to the current directory:\n"
      "  code.bin    the bytes from address 0x0E00 up to the highest address reached\n"
      "              by a record that ends below 0xFFCC, their CRC-16/XMODEM (high\n"
      "              byte first) and 0x00 fill to a multiple of 8 bytes that is\n"
      "              never a multiple of 512\n"
      "  vector.bin  the 52 bytes of the vector area 0xFFCC..0xFFFF\n"
      "\n"
      "S1, S2 and S3 lines are read; reading stops at the first S7, S8 or S9 line;\n"
      "every other line is skipped. Record checksums are not checked. Old code.bin\n"
      "and vector.bin are removed first; on any fault neither file is left behind.\n"
      "\n"
      "Exit status: 0 converted, 1 conversion fault (one line on stderr naming the\n"
      "file, the cause and the input line), 2 wrong arguments.\n",
      kUsage);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    printHelp();
    return 0;
  }
  int first = 1;
  if (argc == 3 && std::string(argv[1]) == "--") first = 2;
  if (argc != first + 1 || (first == 1 && argv[1][0] == '-' && argv[1][1] != '\0')) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string file = argv[first];
  try {
    const torvane::S19Conversion result = torvane::ConvertS19(file);
    std::printf("%s: %ld data records\n", file.c_str(), result.dataRecords);
    std::printf("wrote %s: %zu bytes, highest address %s, checksum %s\n", torvane::kCodeFileName, result.codeSize,
                torvane::hexNumber(static_cast<uint64_t>(result.highestAddress), 4).c_str(),
                torvane::hexNumber(static_cast<uint64_t>(result.checksum), 4).c_str());
    std::printf("wrote %s: %zu bytes\n", torvane::kVectorFileName, result.vectorSize);
    return 0;
  } catch (const torvane::Fault& f) {
    std::fprintf(stderr, "torvane-s19: %s: %s [fault %d]\n", file.c_str(), f.description().c_str(),
                 static_cast<int>(f.number()));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "torvane-s19: %s: %s\n", file.c_str(), e.what());
  }
  return 1;
}
