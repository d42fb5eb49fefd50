// Windows: the ports of the system's device list (SetupAPI, class "Ports"),
// each with its friendly name and the COMn from its PortName. The driver opens
// every one as \\.\COMn, COM10 and above included. A port that cannot be
// opened for lack of access is held by another program (which one, Windows
// does not tell).
#include <windows.h>
// windows.h first
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>

#include "commission/SerialPorts.h"

namespace qm90commission {

namespace {

std::string Narrow(const wchar_t* wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return "";
  std::string out(static_cast<std::size_t>(size - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), size, nullptr, nullptr);
  return out;
}

std::string Property(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t buffer[512] = {};
  if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, nullptr,
                                         reinterpret_cast<BYTE*>(buffer), sizeof buffer - 2,
                                         nullptr))
    return "";
  return Narrow(buffer);
}

int PortNumber(HDEVINFO devices, SP_DEVINFO_DATA& device) {
  HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return 0;
  wchar_t name[64] = {};
  DWORD size = sizeof name - 2;
  DWORD type = 0;
  const LONG read =
      RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS || type != REG_SZ || _wcsnicmp(name, L"COM", 3) != 0) return 0;
  const int number = _wtoi(name + 3);
  return number >= 1 && number <= 255 ? number : 0;
}

// "USB\VID_0403&PID_6001\..." -> vendor and product.
void AddUsbIds(const std::string& hardware_id, TSerialPort& port) {
  const auto vid = hardware_id.find("VID_");
  const auto pid = hardware_id.find("PID_");
  if (vid != std::string::npos) port.usb_vendor = hardware_id.substr(vid + 4, 4);
  if (pid != std::string::npos) port.usb_product = hardware_id.substr(pid + 4, 4);
}

void CheckBusy(TSerialPort& port) {
  const std::wstring path = L"\\\\.\\COM" + std::to_wstring(port.com_number);
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    return;
  }
  if (GetLastError() == ERROR_ACCESS_DENIED || GetLastError() == ERROR_SHARING_VIOLATION)
    port.busy = true;
}

}  // namespace

std::vector<TSerialPort> ListSerialPorts(const TSystemRoots&) {
  std::vector<TSerialPort> ports;
  HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return ports;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
    TSerialPort port;
    port.com_number = PortNumber(devices, device);
    if (port.com_number == 0) continue;  // a printer port or another kind
    port.device = "\\\\.\\COM" + std::to_string(port.com_number);
    port.description = Property(devices, device, SPDRP_FRIENDLYNAME);
    port.manufacturer = Property(devices, device, SPDRP_MFG);
    AddUsbIds(Property(devices, device, SPDRP_HARDWAREID), port);
    CheckBusy(port);
    ports.push_back(port);
  }
  SetupDiDestroyDeviceInfoList(devices);
  std::sort(ports.begin(), ports.end(),
            [](const TSerialPort& a, const TSerialPort& b) { return a.com_number < b.com_number; });
  return ports;
}

}  // namespace qm90commission
