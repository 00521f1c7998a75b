// Files and expectations shared by the transfer-phase tests.
#pragma once

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "encoding/bytes.h"
#include "tests/fakes/procedure_rig.h"
#include "tests/support/scratch_folder.h"

namespace torvane::testing {

// Bytes that differ from file to file (seed) and from offset to offset.
inline ByteString pattern(std::size_t size, unsigned seed) {
  ByteString bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 13 + seed * 5) & 0xFF);
  return bytes;
}

using test::writeFile;

// A list with one entry of each memory type 1..4 (tab and blank separators,
// hex and decimal addresses) in program.txt of the working folder.
inline void writeFourEntryList() {
  writeFile("code.bin", pattern(600, 1));
  writeFile("mmc.bin", pattern(1, 2));
  writeFile("dsd.bin", pattern(10, 3));
  writeFile("odd.bin", "");
  writeFile("program.txt", "code.bin\t1\t0x8000\r\nmmc.bin 2 0\r\ndsd.bin 3 4096\r\nodd.bin\t4\t7\r\n");
}

// Every status text of the four-entry list sent against a machine that ACKs
// every frame at once, in order (each is also repainted).
inline std::vector<std::string> fourEntryListStatuses() {
  std::vector<std::string> expected;
  int count = 0;
  auto frame = [&](const std::string& before, int bytes) {
    expected.push_back(before);
    expected.push_back(before + "(" + std::to_string(bytes) + " bytes, " + std::to_string(++count) + ")" +
                       "\r\n  Waiting for acknowledgement");
    expected.push_back(" Status: Received ACK");
  };
  expected.push_back(" Status: Sending code.bin (600 bytes) to Code(32768)");
  frame(" Status: Sending address ", 15);
  frame(" Status: Sending data ", 514);
  frame(" Status: Sending data ", 514);
  expected.push_back(" Status: Sending mmc.bin (1 bytes) to MMC(0)");
  frame(" Status: Sending address ", 15);
  frame(" Status: Sending data ", 514);
  expected.push_back(" Status: Sending dsd.bin (10 bytes) to DSD Flash(4096)");
  frame(" Status: Sending address ", 15);
  frame(" Status: Sending data ", 514);
  expected.push_back(" Status: Sending odd.bin (0 bytes) to ");
  frame(" Status: Sending address ", 15);
  frame(" Status: Sending end of transmission ", 15);
  return expected;
}

// A machine on COM1 that answers the handshake at once; send n of the
// transfer (0-based, resends counted) gets verdicts[n], every other one ACK.
inline void machine(ProcedureRig<>& rig, std::map<int, char> verdicts = {}) {
  rig.port.device(1).onWrite = [&rig, verdicts, sends = 0](const ByteString& bytes) mutable {
    ByteString reply = "\x06";
    if (bytes == "s\r") {
      reply = "As\rTorvane Ready to Receive\r";
    } else if (bytes == "A") {
      reply = "\x02";
    } else if (const auto v = verdicts.find(sends++); v != verdicts.end()) {
      reply = ByteString(1, v->second);
    }
    rig.port.device(1).receiveAt(rig.clock.now + 0.01, reply);
  };
}

}  // namespace torvane::testing
