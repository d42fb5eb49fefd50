// The serial ports the serial driver can open, with what the system knows of
// each (one file per platform: serialports_posix.cpp, serialports_win32.cpp).
#pragma once

#include <string>
#include <vector>

namespace qm90commission {

struct TSerialPort {
  int com_number = 0;       // the COMn the driver opens it as; 0: none
  std::string device;       // "/dev/ttyUSB0", "\\.\COM12"
  std::string by_id;        // "/dev/serial/by-id/usb-...": a stable name, when there is one
  std::string description;  // Windows: the friendly name; Linux: the USB product text
  std::string usb_vendor;   // "0403" (hex), USB adapters only
  std::string usb_product;  // "6001"
  std::string usb_serial;
  std::string manufacturer;
  bool busy = false;   // another program has it open
  std::string holder;  // "minicom (pid 4711)", when the system tells
};

// Where the system's facts are read from; tests point these at decoy folders.
struct TSystemRoots {
  std::string dev = "/dev";
  std::string sys = "/sys";
  std::string proc = "/proc";
  std::string runtime;  // the emulator's COMn folder; empty: the drivers' own
};

// Ports by COM number, those without one last.
std::vector<TSerialPort> ListSerialPorts(const TSystemRoots& roots = {});

}  // namespace qm90commission
