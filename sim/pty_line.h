// The machine's end of a pseudo-terminal pair. The host opens the slave path;
// the simulator keeps the slave open too, so the line never hangs up when the
// host closes and reopens it, and reads and writes the master.
//
// Speed: on Linux the master's termios is the slave's, so tcgetattr on the
// master gives the speed the host set. The master runs in packet mode and the
// slave carries EXTPROC, so every tcsetattr by the host wakes the master with
// a TIOCPKT_IOCTL status; the bytes still unread at that moment may have been
// sent at either speed. A host that clears EXTPROC loses the notification;
// bytes are then counted at the speed read just before they are read.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "encoding/bytes.h"

namespace torvane::sim {

struct Chunk {
  ByteString bytes;
  int speed = 0;     // baud, 0 when unknown; the speed after a change
  int oldSpeed = 0;  // the speed before a change, if the bytes were already
                     // waiting when it was noticed; 0 otherwise
};

class PtyLine {
 public:
  PtyLine() = default;
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;
  ~PtyLine();

  // Opens the pair: master raw, non-blocking, in packet mode; slave raw at
  // 4800 with EXTPROC. False with a message on failure.
  bool open(std::string& error);
  bool isOpen() const { return master_ >= 0; }
  const std::string& slavePath() const { return slavePath_; }
  int pollFd() const { return master_; }

  // The speed the host has set right now, in baud (0 if unknown).
  int speedNow() const;
  // Whether host speed changes still wake the master (EXTPROC in place).
  bool notifiesSpeedChanges() const;

  // Reads everything pending; data bytes are appended to out split by the
  // speed they arrived at. False when the line failed.
  bool readAvailable(std::vector<Chunk>& out);

  // Writes all bytes; false if the line would not take them.
  bool write(const ByteString& bytes);

  // Bytes sent to the host that it has not read yet.
  int hostUnread() const;

  // Waits up to ms for the host to read what was sent (closing the master
  // would discard it), checking every 5 ms.
  void waitHostRead(int ms);

  // Closes both ends: the host sees the line go away.
  void hangUp();

  // What the kernel does to a USB adapter's terminal when it is pulled out:
  // every open descriptor of the slave, the host's and our own, is hung up
  // (reads give end of file, writes and most ioctls fail). The master stays,
  // and the slave is opened and set up afresh, so the host can open the same
  // path again. Needs CAP_SYS_ADMIN
  // (TIOCVHANGUP); false with a message when it failed.
  bool unplug(std::string& error);

 private:
  bool configureSlave();

  struct Segment {
    int count;
    int oldSpeed;
    int newSpeed;
  };

  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  int knownSpeed_ = 0;
  std::deque<Segment> oldSpeedBytes_;
};

// Baud value of a termios speed constant, 0 if not a usual one.
int baudOf(unsigned speedCode);

}  // namespace torvane::sim
