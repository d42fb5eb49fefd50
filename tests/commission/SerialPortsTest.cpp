#include "commission/SerialPorts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace qm90commission {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text << "\n";
}

// A decoy /dev, /sys, /proc and emulator folder: two 8250 ports (one without
// hardware), a high one, a USB adapter held by another program, an emulated
// port linked into the runtime folder.
class DecoySystem : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("qm90-ports-" + std::to_string(getpid()));
    fs::remove_all(root);
    for (const char* name : {"ttyS0", "ttyS1", "ttyS10", "ttyUSB0", "pts/3", "tty0"})
      Write(root / "dev" / name, "");
    fs::create_directories(root / "dev/serial/by-id");
    fs::create_symlink("../../ttyUSB0", root / "dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0");
    Write(root / "sys/class/tty/ttyS0/type", "4");
    Write(root / "sys/class/tty/ttyS1/type", "0");
    Write(root / "sys/class/tty/ttyS10/type", "4");
    Write(root / "sys/class/tty/tty0/type", "4");
    const fs::path usb = root / "sys/devices/usb1/1-1";
    Write(usb / "idVendor", "0403");
    Write(usb / "idProduct", "6001");
    Write(usb / "serial", "A1");
    Write(usb / "manufacturer", "FTDI");
    Write(usb / "product", "FT232R USB UART");
    fs::create_directories(usb / "1-1:1.0/ttyUSB0");
    fs::create_directories(root / "sys/class/tty/ttyUSB0");
    fs::create_symlink(usb / "1-1:1.0/ttyUSB0", root / "sys/class/tty/ttyUSB0/device");
    Write(root / "proc/4711/comm", "minicom");
    fs::create_directories(root / "proc/4711/fd");
    fs::create_symlink(fs::canonical(root / "dev/ttyUSB0"), root / "proc/4711/fd/3");
    fs::create_directories(root / "run");
    fs::create_symlink(root / "dev/pts/3", root / "run/COM43");
    fs::create_symlink(root / "dev/gone", root / "run/COM44");  // a port that went away
  }
  void TearDown() override { fs::remove_all(root); }

  std::string Dev(const char* name) { return fs::canonical(root / "dev" / name).string(); }

  fs::path root;
};

TEST_F(DecoySystem, ListsWhatTheDriverCanOpenWithWhatTheSystemKnows) {
  TSystemRoots roots{(root / "dev").string(), (root / "sys").string(), (root / "proc").string(),
                     (root / "run").string()};
  const std::vector<TSerialPort> ports = ListSerialPorts(roots);
  ASSERT_EQ(ports.size(), 4u);
  const struct {
    int com;
    std::string device;
    bool busy;
  } expected[] = {{1, Dev("ttyS0"), false},
                  {11, Dev("ttyS10"), false},
                  {43, Dev("pts/3"), false},
                  {0, Dev("ttyUSB0"), true}};
  for (std::size_t i = 0; i < ports.size(); ++i) {
    EXPECT_EQ(ports[i].com_number, expected[i].com) << i;
    EXPECT_EQ(ports[i].device, expected[i].device) << i;
    EXPECT_EQ(ports[i].busy, expected[i].busy) << i;
  }
  const TSerialPort& usb = ports[3];
  EXPECT_EQ(usb.usb_vendor, "0403");
  EXPECT_EQ(usb.usb_product, "6001");
  EXPECT_EQ(usb.usb_serial, "A1");
  EXPECT_EQ(usb.description, "FT232R USB UART");
  EXPECT_EQ(usb.by_id, (root / "dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0").string());
  EXPECT_EQ(usb.holder, "minicom (pid 4711)");
}

TEST_F(DecoySystem, MissingFoldersGiveNoPortsAndNoFault) {
  TSystemRoots roots{(root / "none").string(), (root / "none").string(), (root / "none").string(),
                     (root / "none").string()};
  EXPECT_TRUE(ListSerialPorts(roots).empty());
}

}  // namespace
}  // namespace qm90commission
