// Fuzzes the whole conversion: any input file either converts or ends in a
// torvane::Fault with neither output file left behind.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "encoding/fault.h"
#include "image/s19_converter.h"

namespace {

std::filesystem::path scratch;

void removeScratch() {
  std::error_code ec;
  std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
  std::filesystem::remove_all(scratch, ec);
}

}  // namespace

// The converter writes into the working directory: give it a private one.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (std::filesystem::temp_directory_path() / "torvane-fuzz-s19-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  scratch = pattern;
  std::filesystem::current_path(scratch);
  std::atexit(removeScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream out("input.s19", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    const torvane::S19Conversion result = torvane::ConvertS19("input.s19", ".");
    if (result.vectorSize != 52 || result.codeSize < 2 ||
        std::filesystem::file_size(torvane::kCodeFileName) != result.codeSize || result.highestAddress < 0 ||
        result.highestAddress >= 0xFFCC) {
      std::abort();
    }
    if (result.codeSize > 2 && (result.codeSize % 8 != 0 || result.codeSize % 512 == 0)) std::abort();
  } catch (const torvane::Fault&) {
    // A fault must leave nothing half-written.
    if (std::filesystem::exists(torvane::kCodeFileName) || std::filesystem::exists(torvane::kVectorFileName)) {
      std::abort();
    }
  }
  return 0;
}
