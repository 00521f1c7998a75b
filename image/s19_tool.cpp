// torvane-s19 [--as-is] FILE: converts a Motorola S-record file into
// code.bin and vector.bin in the current folder.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "cli/command_line.h"
#include "encoding/encoders.h"
#include "encoding/fault.h"
#include "image/s19_converter.h"
#include "image/s19_strict.h"

namespace {

const char kDescription[] =
    "Converts the Motorola S-record FILE into the two image files that an update\n"
    "sends, both written to the current folder:\n"
    "  code.bin    the bytes from address 0x0E00 up to the highest address reached\n"
    "              by a record that ends below 0xFFCC, their CRC-16/XMODEM (high\n"
    "              byte first) and 0x00 fill to a multiple of 8 bytes that is\n"
    "              never a multiple of 512\n"
    "  vector.bin  the 52 bytes of the vector area 0xFFCC..0xFFFF\n"
    "\n"
    "Every line up to the first S7, S8 or S9 must be a well-formed S-record with\n"
    "a checksum that matches, and one at least an S1, S2 or S3 data record;\n"
    "empty lines are passed over. Old code.bin and vector.bin are removed first;\n"
    "on any fault neither file is left behind.";

const char kFooter[] =
    "Environment: none.\n"
    "Exit status: 0 converted, 1 refused or failed (one line on standard error\n"
    "naming the file, the cause and the input line), 2 wrong arguments.";

// The strict reading first; a refused file leaves no output behind, as any
// failed conversion does.
void checkStrictly(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in.is_open()) return;  // the conversion names why it cannot be opened
  try {
    torvane::checkS19Strictly(in);
  } catch (const torvane::Fault&) {
    try {
      torvane::removeOldS19Output(std::filesystem::current_path());
    } catch (const torvane::Fault&) {  // the refusal is what the operator needs to read
    }
    throw;
  }
}

}  // namespace

int main(int argc, char** argv) {
  torvane::cli::CommandLine command("torvane-s19", TORVANE_VERSION, kDescription, kFooter);
  std::string file;
  bool asIs = false;
  command.app().add_option("FILE", file, "The S-record file.")->required();
  command.app().add_flag("--as-is", asIs,
                         "Convert without the strict reading: any line holding S1, S2 or S3 is a record, other "
                         "characters count as 0, checksums are not checked, other lines are skipped.");
  if (const auto code = command.parse(torvane::cli::arguments(argc, argv), std::cout, std::cerr)) return *code;
  try {
    if (!asIs) checkStrictly(file);
    const torvane::S19Conversion result = torvane::ConvertS19(file, std::filesystem::current_path());
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
