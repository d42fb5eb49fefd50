// A serial port as the platform gives it: open, line settings, read, write,
// close. No wait here decides anything: each call waits at most the time it
// is handed and may return sooner; the serial transport keeps the deadlines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "drivers/Timing.h"

namespace qm90drivers {

class SerialPort {
 public:
  virtual ~SerialPort() = default;  // closes the port

  // Raw 8N1 at `baud`, no flow control; a code (kOk, kPortSetupFailed).
  virtual std::int32_t SetBaud(std::int32_t baud) = 0;
  // Drops what was received and not yet read.
  virtual void DiscardInput() = 0;
  // Writes some of the bytes, waiting at most `wait` for room; `written` is 0
  // when none could be written in time. A code (kOk, kPortWriteFailed).
  virtual std::int32_t Write(const std::uint8_t* bytes, std::size_t size, Micros wait,
                             std::size_t& written) = 0;
  // Reads what is there, waiting at most `wait` for a first byte; `got` is 0
  // when none came. A code (kOk, kPortReadFailed when the device is gone).
  virtual std::int32_t Read(std::uint8_t* buffer, std::size_t size, Micros wait,
                            std::size_t& got) = 0;
};

// Opens COMn (1..255, checked by the caller) as it is; a code
// (kOk, kPortOpenFailed) and `out` on success.
std::int32_t OpenSerialPort(std::int32_t com_number, std::unique_ptr<SerialPort>& out);

}  // namespace qm90drivers
