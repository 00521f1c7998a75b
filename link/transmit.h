// Stop-and-wait exchange of one frame against the machine's verdict byte.
#pragma once

#include <cstdint>

#include "context/form_context.h"
#include "encoding/bytes.h"

namespace torvane {

// Verdict bytes of the machine.
inline constexpr uint8_t kACK = 6;
inline constexpr uint8_t kNAK = 21;
inline constexpr uint8_t kCAN = 24;
inline constexpr uint8_t kETX = 3;
inline constexpr uint8_t kSTX = 2;

// How the exchange of one frame ended, with the machine's numbers.
enum class FrameResult : int16_t {
  Accepted = 0,   // ACK or ETX
  TimedOut = -1,  // no verdict within 20 s of a send; the port stays open
  Failed = 24,    // CAN: program failure, port closed
};

// packetCount is 16-bit signed: a run hands over at most this many frames.
inline constexpr int kMaxFramesPerRun = 32767;
// What the counter raises for the frame beyond them (number, description, source).
inline constexpr const char* kTooManyFramesText = "Overflow: a run can send at most 32767 frames";

// Sends InString, resends it on NAK or STX, and returns the frame result.
// Faults (port, packetCount overflow) are thrown to the caller.
FrameResult Transmit(FormContext& ctx, const ByteString& InString);

}  // namespace torvane
