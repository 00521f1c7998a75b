// The POSIX host look-ups against a sysfs tree and device folder of the test.
#include "serial/posix_port_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "tests/support/host.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;

class PosixPortHostTree : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(root.empty()); }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  void write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
  }
  // /sys/class/tty/<name>, its device link to /sys/devices/<device>, and /dev/<name> when `node`.
  void tty(const std::string& name, const std::string& device, bool node = true) {
    const fs::path entry = root / "sys/class/tty" / name;
    fs::create_directories(entry);
    fs::create_directories(root / "sys/devices" / device);
    fs::create_directory_symlink(fs::path("../../../devices") / device, entry / "device");
    if (node) write(root / "dev" / name, "");
  }
  void usbDevice(const std::string& folder, const std::string& vendor, const std::string& product) {
    const fs::path dir = root / "sys/devices" / folder;
    write(dir / "idVendor", vendor + "\n");
    write(dir / "idProduct", product + "\n");
  }

  const fs::path root = test::makeScratchDirectory("torvane-sysfs");
};

TEST_F(PosixPortHostTree, serialPorts_areTheTtysWithADeviceAndANode) {
  const std::string hub = "pci0000:00/0000:00:14.0/usb1";
  tty("ttyS0", "pnp0/00:04");
  write(root / "sys/class/tty/ttyS0/type", "4\n");
  tty("ttyS1", "platform/serial8250");  // no UART there
  write(root / "sys/class/tty/ttyS1/type", "0\n");
  tty("ttyUSB0", hub + "/1-2/1-2:1.0/ttyUSB0");
  usbDevice(hub, "1d6b", "0002");  // the root hub: farther up than the adapter
  usbDevice(hub + "/1-2", "0403", "6001");
  write(root / "sys/devices" / hub / "1-2/manufacturer", "FTDI\n");
  write(root / "sys/devices" / hub / "1-2/product", "FT232R USB UART\n");
  write(root / "sys/devices" / hub / "1-2/serial", "A1B2C3D4\n");
  tty("ttyACM0", hub + "/1-1/1-1:1.0", false);          // no /dev node
  fs::create_directories(root / "sys/class/tty/tty1");  // a console: no device link
  write(root / "dev/tty1", "");

  std::vector<PortDescription> ports = PosixPortHost(root / "sys", root / "dev").serialPorts();
  std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.device < b.device; });

  const fs::path devices = fs::canonical(root / "sys/devices");
  PortDescription uart;
  uart.device = (root / "dev/ttyS0").string();
  uart.location = (devices / "pnp0/00:04").string();
  PortDescription adapter;
  adapter.device = (root / "dev/ttyUSB0").string();
  adapter.description = "FT232R USB UART";
  adapter.manufacturer = "FTDI";
  adapter.vendorId = 0x0403;
  adapter.productId = 0x6001;
  adapter.serialNumber = "A1B2C3D4";
  adapter.location = (devices / hub / "1-2/1-2:1.0/ttyUSB0").string();
  EXPECT_EQ(ports, (std::vector<PortDescription>{uart, adapter}));
}

}  // namespace
}  // namespace torvane
