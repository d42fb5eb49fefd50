// A COM port opened as \\.\COMn, raw 8N1, no flow control. Reads and writes
// wait by COMMTIMEOUTS: a read returns as soon as any byte is there, or after
// the time given.
#include <windows.h>

#include <algorithm>
#include <string>

#include "drivers/Codes.h"
#include "drivers/SerialPort.h"

namespace qm90drivers {
namespace {

// Device name of COMn; the \\.\ form is needed from COM10 on and works for all.
std::wstring DevicePath(std::int32_t com_number) {
  return L"\\\\.\\COM" + std::to_wstring(com_number);
}

class Win32SerialPort final : public SerialPort {
 public:
  explicit Win32SerialPort(HANDLE handle) : handle_(handle) {}
  ~Win32SerialPort() override { CloseHandle(handle_); }
  Win32SerialPort(const Win32SerialPort&) = delete;
  Win32SerialPort& operator=(const Win32SerialPort&) = delete;

  std::int32_t SetBaud(std::int32_t baud) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb)) return kPortSetupFailed;
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
    return SetCommState(handle_, &dcb) ? kOk : kPortSetupFailed;
  }

  void DiscardInput() override { PurgeComm(handle_, PURGE_RXCLEAR); }

  std::int32_t Write(const std::uint8_t* bytes, std::size_t size, Micros wait,
                     std::size_t& written) override {
    written = 0;
    if (!ArmWaits(CeilMilliseconds(wait))) return kPortWriteFailed;
    DWORD n = 0;
    if (!WriteFile(handle_, bytes, static_cast<DWORD>(size), &n, nullptr)) return kPortWriteFailed;
    written = n;
    return kOk;
  }

  std::int32_t Read(std::uint8_t* buffer, std::size_t size, Micros wait,
                    std::size_t& got) override {
    got = 0;
    if (!ArmWaits(CeilMilliseconds(wait))) return kPortReadFailed;
    DWORD n = 0;
    if (!ReadFile(handle_, buffer, static_cast<DWORD>(size), &n, nullptr)) {
      return kPortReadFailed;  // device gone or broken
    }
    got = n;
    return kOk;
  }

 private:
  // Read: return at once with what is there, else wait up to `ms` for the
  // first byte. Write: give up after `ms`. Set only when it changes.
  bool ArmWaits(int ms) {
    if (ms == armed_ms_) return true;
    COMMTIMEOUTS waits{};
    waits.ReadIntervalTimeout = MAXDWORD;
    waits.ReadTotalTimeoutMultiplier = MAXDWORD;
    waits.ReadTotalTimeoutConstant = static_cast<DWORD>(std::max(ms, 1));
    waits.WriteTotalTimeoutMultiplier = 0;
    waits.WriteTotalTimeoutConstant = static_cast<DWORD>(std::max(ms, 1));
    if (SetCommTimeouts(handle_, &waits) == 0) return false;
    armed_ms_ = ms;
    return true;
  }

  HANDLE handle_;
  int armed_ms_ = -1;
};

}  // namespace

std::int32_t OpenSerialPort(std::int32_t com_number, std::unique_ptr<SerialPort>& out) {
  const HANDLE handle = CreateFileW(DevicePath(com_number).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return kPortOpenFailed;
  if (GetFileType(handle) != FILE_TYPE_CHAR) {  // a file or pipe of that name is no port
    CloseHandle(handle);
    return kPortOpenFailed;
  }
  out = std::make_unique<Win32SerialPort>(handle);
  return kOk;
}

}  // namespace qm90drivers
