// Serial transport: a COM port opened as \\.\COMn, raw 8N1, no flow control.
// The waits are COMMTIMEOUTS: a read returns as soon as any byte is there, or
// after the time left; the waits themselves are drivers/Timing.h's.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "drivers/Codes.h"
#include "drivers/Transport.h"

namespace qm90drivers {
namespace {

constexpr std::size_t kReadSize = 256;

struct SerialPort {
  HANDLE handle = INVALID_HANDLE_VALUE;
  SerialWaits waits{};
  std::uint8_t sequence = 0;  // of the request in flight; the module echoes it
  qm90::StreamScanner scanner;
};

// A wait in whole milliseconds that does not end before `left` has passed.
int WaitMs(Micros left) {
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

// Device name of COMn; the \\.\ form is needed from COM10 on and works for all.
std::wstring DevicePath(std::int32_t com_number) {
  return L"\\\\.\\COM" + std::to_wstring(com_number);
}

std::int32_t ApplyLine(HANDLE handle, std::int32_t baud) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handle, &dcb)) return kPortSetupFailed;
  dcb.BaudRate = static_cast<DWORD>(baud);
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fAbortOnError = FALSE;
  return SetCommState(handle, &dcb) ? kOk : kPortSetupFailed;
}

// Read: return at once with what is there, else wait up to `read_ms` for the
// first byte. Write: give up after `write_ms`.
bool SetWaits(HANDLE handle, int read_ms, int write_ms) {
  COMMTIMEOUTS waits{};
  waits.ReadIntervalTimeout = MAXDWORD;
  waits.ReadTotalTimeoutMultiplier = MAXDWORD;
  waits.ReadTotalTimeoutConstant = static_cast<DWORD>(std::max(read_ms, 1));
  waits.WriteTotalTimeoutMultiplier = 0;
  waits.WriteTotalTimeoutConstant = static_cast<DWORD>(std::max(write_ms, 1));
  return SetCommTimeouts(handle, &waits) != 0;
}

std::int32_t WriteFrame(HANDLE handle, const std::vector<std::uint8_t>& frame,
                        Clock::time_point deadline) {
  std::size_t written = 0;
  while (written < frame.size()) {
    const int left = MillisecondsLeft(deadline);
    if (left == 0) return kTimeout;
    if (!SetWaits(handle, left, left)) return kPortWriteFailed;
    DWORD n = 0;
    if (!WriteFile(handle, frame.data() + written, static_cast<DWORD>(frame.size() - written), &n,
                   nullptr)) {
      return kPortWriteFailed;
    }
    written += n;
  }
  return kOk;
}

// Reads until the addressed module's answer to this request arrives or time
// runs out. Silence until the first-byte wait ends means no module answers;
// once bytes came, the answer gets until its whole-answer wait, which nothing
// that arrives later moves. A sound answer of another module or to an earlier
// request (one that came after its time-out) is skipped; bytes that made no
// sound frame count as a damaged answer. The system's waits may end early or
// late; only the clock ends this one.
std::int32_t ReadAnswer(SerialPort& port, std::uint8_t address, qm90::Answer& answer,
                        Clock::time_point sent) {
  std::uint8_t buffer[kReadSize];
  Clock::time_point deadline = sent + port.waits.first_byte;
  bool heard = false;
  int armed_ms = -1;
  for (Micros left = TimeLeft(deadline); left.count() > 0; left = TimeLeft(deadline)) {
    const int wait_ms = WaitMs(left);
    if (wait_ms != armed_ms) {
      if (!SetWaits(port.handle, wait_ms, wait_ms)) return kPortReadFailed;
      armed_ms = wait_ms;
    }
    DWORD n = 0;
    if (!ReadFile(port.handle, buffer, sizeof buffer, &n, nullptr)) {
      return kPortReadFailed;  // device gone or broken
    }
    if (n == 0) continue;
    if (!heard) deadline = sent + port.waits.whole_answer;
    heard = true;
    std::size_t used = 0;
    if (port.scanner.FindAnswer(buffer, n, address, port.sequence, answer, used)) return kOk;
  }
  const bool damaged = port.scanner.NoiseBytes() > 0 || port.scanner.Pending() > 0;
  return damaged ? kDamagedAnswer : kTimeout;
}

std::int32_t SerialConfigure(void* context, const LinkSettings& settings) {
  auto* port = static_cast<SerialPort*>(context);
  const std::int32_t code = ApplyLine(port->handle, settings.baud);
  if (code == kOk) port->waits = SerialAnswerWaits(settings.baud, settings.timing);
  return code;
}

std::int32_t SerialExchange(void* context, const qm90::Request& request, qm90::Answer& answer) {
  auto* port = static_cast<SerialPort*>(context);
  PurgeComm(port->handle, PURGE_RXCLEAR);  // what came before this request is no answer to it
  port->scanner.Clear();
  qm90::Request numbered = request;
  numbered.sequence = ++port->sequence;
  const Clock::time_point sent = Clock::now();
  const std::int32_t code =
      WriteFrame(port->handle, qm90::EncodeRequest(numbered), sent + port->waits.first_byte);
  if (code != kOk) return code;
  return ReadAnswer(*port, request.address, answer, sent);
}

void SerialClose(void* context) {
  auto* port = static_cast<SerialPort*>(context);
  if (port->handle != INVALID_HANDLE_VALUE) CloseHandle(port->handle);
  delete port;
}

constexpr Transport kSerial{SerialConfigure, SerialExchange, SerialClose};

// A port opened again starts its sequence elsewhere than the last one did, so
// that an answer still on the line from before is not taken for a new one.
std::uint8_t FirstSequence() {
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return static_cast<std::uint8_t>(ticks ^ (ticks >> 8) ^ (ticks >> 16) ^ GetCurrentProcessId());
}

}  // namespace

std::int32_t OpenSerial(std::int32_t com_number, OpenedLink& out) {
  constexpr std::int32_t kHighestCom = 255;
  if (com_number < 1 || com_number > kHighestCom) return kInvalidParameter;
  const HANDLE handle = CreateFileW(DevicePath(com_number).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return kPortOpenFailed;
  if (GetFileType(handle) != FILE_TYPE_CHAR) {  // a file or pipe of that name is no port
    CloseHandle(handle);
    return kPortOpenFailed;
  }
  const LinkSettings defaults;
  if (ApplyLine(handle, defaults.baud) != kOk) {
    CloseHandle(handle);
    return kPortSetupFailed;
  }
  auto* port = new SerialPort;
  port->handle = handle;
  port->waits = SerialAnswerWaits(defaults.baud, defaults.timing);
  port->sequence = FirstSequence();
  out = {&kSerial, port};
  return kOk;
}

}  // namespace qm90drivers
