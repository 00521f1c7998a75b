// S-record files made at test time by objcopy (binutils) and srec_cat
// (srecord) from random binaries, converted and compared with the images that
// the tests' own model derives from the same binaries.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "encoding/fault.h"
#include "image/s19_converter.h"
#include "tests/image/s19_test_support.h"

namespace torvane {
namespace {

using test::ModelRecord;
using test::readFile;
using test::writeFile;

// A binary placed at an address.
struct Piece {
  uint32_t base;
  std::size_t size;
};

struct ToolCase {
  const char* name;
  std::vector<Piece> pieces;
  std::string tool;     // "objcopy" or "srec_cat"
  std::string options;  // extra options of the tool
};

std::string hexAddress(uint32_t value) {
  std::ostringstream s;
  s << "0x" << std::hex << value;
  return s.str();
}

// The records of a tool's S-record text, read by the test itself: data
// records with their addresses, up to the terminator. Checks every record's
// own checksum on the way.
std::vector<ModelRecord> recordsOf(const std::string& text) {
  std::vector<ModelRecord> records;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() < 4 || line[0] != 'S') continue;
    if (line[1] >= '7' && line[1] <= '9') break;
    if (line[1] < '1' || line[1] > '3') continue;
    const auto byteAt = [&line](std::size_t i) {
      return static_cast<int>(std::stoul(line.substr(2 + 2 * i, 2), nullptr, 16));
    };
    const int count = byteAt(0);
    const int addressBytes = line[1] - '0' + 1;
    EXPECT_EQ(line.size(), static_cast<std::size_t>(4 + 2 * count)) << line;
    int sum = 0;
    for (int i = 0; i <= count; ++i) sum += byteAt(static_cast<std::size_t>(i));
    EXPECT_EQ(sum & 0xFF, 0xFF) << "record checksum of " << line;
    ModelRecord record{0, {}};
    for (int i = 1; i <= addressBytes; ++i) record.address = record.address * 256 + byteAt(static_cast<std::size_t>(i));
    for (int i = addressBytes + 1; i < count; ++i)
      record.data.push_back(static_cast<char>(byteAt(static_cast<std::size_t>(i))));
    records.push_back(record);
  }
  return records;
}

std::string withLineEnds(std::string text, const std::string& end) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') {
      out += end;
    } else {
      out += c;
    }
  }
  return out;
}

class RealToolsTest : public test::ScratchDirectory {
 protected:
  // Writes the pieces as random binaries, runs the tool, and returns the
  // S-record text; `binaries` receives each piece's bytes.
  std::string makeSrec(const ToolCase& c, std::vector<ByteString>& binaries) {
    std::mt19937 random(static_cast<unsigned>(std::hash<std::string>{}(c.name)));
    std::string command = c.tool;
    for (std::size_t i = 0; i < c.pieces.size(); ++i) {
      ByteString binary;
      for (std::size_t k = 0; k < c.pieces[i].size; ++k) binary.push_back(static_cast<char>(random() & 0xFF));
      const std::string name = "piece" + std::to_string(i) + ".bin";
      writeFile(name, binary);
      binaries.push_back(binary);
      if (c.tool == "objcopy") {
        command += " -I binary -O srec --change-addresses=" + hexAddress(c.pieces[i].base) + " " + name;
      } else {
        command += " " + name + " -binary -offset " + hexAddress(c.pieces[i].base);
      }
    }
    command += c.tool == "objcopy" ? " " + c.options + " tool.s19" : " -o tool.s19 -motorola " + c.options;
    const int status = std::system((command + " 2> tool.err").c_str());
    EXPECT_EQ(status, 0) << command << ": " << readFile("tool.err")
                         << " (run scripts/setup to install binutils and srecord)";
    return readFile("tool.s19");
  }

  static std::vector<ModelRecord> checkedRecords(const std::string& text, const ToolCase& c,
                                                 const std::vector<ByteString>& binaries) {
    const std::vector<ModelRecord> records = recordsOf(text);
    // The records carry exactly the binaries' bytes at their addresses.
    std::size_t total = 0;
    for (const auto& r : records) {
      bool found = false;
      for (std::size_t i = 0; i < c.pieces.size(); ++i) {
        const int64_t offset = r.address - c.pieces[i].base;
        if (offset >= 0 && offset + r.data.size() <= c.pieces[i].size) {
          EXPECT_EQ(r.data, binaries[i].substr(static_cast<std::size_t>(offset), r.data.size()));
          found = true;
        }
      }
      EXPECT_TRUE(found) << "record at " << r.address;
      total += r.data.size();
    }
    std::size_t expectedTotal = 0;
    for (const auto& p : c.pieces) expectedTotal += p.size;
    EXPECT_EQ(total, expectedTotal);
    return records;
  }
};

TEST_F(RealToolsTest, toolMadeFiles_convertToModelImagesWithEveryLineEnd) {
  const std::vector<ToolCase> cases{
      {"objcopy at 0x0E00", {{0x0E00, 1000}}, "objcopy", ""},
      {"objcopy crossing 0x0E00, 16-byte records", {{0x0D00, 700}}, "objcopy", "--srec-len=16"},
      {"objcopy S3 records", {{0x1234, 3000}}, "objcopy", "--srec-forceS3 --srec-len=64"},
      {"objcopy into the vector area", {{0xFE00, 512}}, "objcopy", "--srec-len=16"},
      {"objcopy odd records over 0xFFCC", {{0xFF90, 112}}, "objcopy", "--srec-len=13"},
      {"objcopy 509 bytes", {{0x0E00, 509}}, "objcopy", ""},
      {"objcopy 510 bytes", {{0x0E00, 510}}, "objcopy", "--srec-len=17"},
      {"objcopy 511 bytes", {{0x0E00, 511}}, "objcopy", "--srec-forceS3"},
      {"objcopy 1022 bytes", {{0x0E00, 1022}}, "objcopy", "--srec-len=255"},
      {"objcopy whole 64 KiB", {{0x0000, 65536}}, "objcopy", "--srec-len=32"},
      {"srec_cat S1", {{0x0E00, 4000}}, "srec_cat", ""},
      {"srec_cat S2 crossing 0x0E00", {{0x0DF0, 2000}}, "srec_cat", "-address-length=3 -obs=20"},
      {"srec_cat S3 up to 0xFFFF", {{0xF000, 4096}}, "srec_cat", "-address-length=4 -obs=40"},
      {"srec_cat code and vectors", {{0x0E00, 300}, {0xFFCC, 52}}, "srec_cat", "-obs=7"},
      {"srec_cat below code start only", {{0x0100, 200}}, "srec_cat", ""},
      {"srec_cat ending at 0x0DFD", {{0x0D00, 254}}, "srec_cat", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ByteString> binaries;
    const std::string text = makeSrec(c, binaries);
    ASSERT_FALSE(text.empty());
    const test::ModelImages expected = test::modelImages(checkedRecords(text, c, binaries));
    for (const char* end : {"\n", "\r", "\r\n"}) {
      SCOPED_TRACE(end[0] == '\n' ? "LF" : end[1] == '\n' ? "CR LF" : "CR");
      writeFile("in.s19", withLineEnds(text, end));
      const S19Conversion result = ConvertS19("in.s19", ".");
      EXPECT_EQ(readFile("code.bin"), expected.code);
      EXPECT_EQ(readFile("vector.bin"), expected.vector);
      EXPECT_EQ(result.highestAddress, expected.highest);
      EXPECT_EQ(result.codeSize, expected.code.size());
    }
  }
}

TEST_F(RealToolsTest, fillBoundary_510And511BytesGive520ByteCode) {
  for (std::size_t size : {510u, 511u}) {
    const ToolCase c{"boundary", {{0x0E00, size}}, "objcopy", ""};
    std::vector<ByteString> binaries;
    writeFile("in.s19", makeSrec(c, binaries));
    ConvertS19("in.s19", ".");
    const ByteString code = readFile("code.bin");
    ASSERT_EQ(code.size(), 520u);
    EXPECT_EQ(code.substr(0, size), binaries[0]);
    EXPECT_EQ(code.substr(size + 2), ByteString(520 - size - 2, '\0'));
  }
}

TEST_F(RealToolsTest, dataPast0x10000_throwsSubscriptOutOfRangeAtItsLine) {
  const ToolCase c{"past the image", {{0xFF00, 512}}, "srec_cat", "-obs=32"};
  std::vector<ByteString> binaries;
  const std::string text = makeSrec(c, binaries);
  // The first record line with a byte above 0x10000.
  int faultLine = 0;
  {
    std::istringstream in(text);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
      const auto records = recordsOf(line + "\n");
      if (!records.empty() && records[0].address + static_cast<int64_t>(records[0].data.size()) - 1 > 0x10000) {
        faultLine = n;
        break;
      }
    }
  }
  ASSERT_GT(faultLine, 0);
  writeFile("in.s19", text);
  try {
    ConvertS19("in.s19", ".");
    FAIL() << "no fault";
  } catch (const Fault& f) {
    EXPECT_EQ(f.number(), fault::kSubscriptOutOfRange);
    EXPECT_NE(f.description().find("(line " + std::to_string(faultLine) + ")"), std::string::npos) << f.description();
  }
  EXPECT_FALSE(std::filesystem::exists("code.bin"));
  EXPECT_FALSE(std::filesystem::exists("vector.bin"));
}

}  // namespace
}  // namespace torvane
