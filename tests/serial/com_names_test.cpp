#include "serial/com_names.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/serial/fake_port_host.h"

namespace torvane {
namespace {

class ComNames : public ::testing::Test {
 protected:
  testing::NoComVariables noVariables;
  testing::FakePortHost host;
};

PortDescription port(const std::string& device, const std::string& location = {}) {
  return testing::describedPort(device, location);
}

std::string variables(int n) {
  static const std::map<int, std::string> set = {
      {3, "/dev/ttyUSB0"}, {9, "/dev/pts/7"}, {10, "/dev/ttyUSB1"}, {0, "/dev/ttyUSB2"}};
  return set.count(n) ? set.at(n) : std::string();
}

const std::string kHub = "/sys/devices/pci0000:00/0000:00:14.0/usb1/";

TEST_F(ComNames, hostPortsFillComsInTheDocumentedOrder) {
  const struct {
    const char* what;
    std::vector<PortDescription> ports;
    std::map<int, std::string> variables;
    std::vector<std::string> expected;  // COM1, COM2, ... (COM2 is always TORVANE_COM2's); the rest have no device
  } rows[] = {
      {"nothing", {}, {}, {}},
      {"one adapter, no UART", {port("/dev/ttyUSB0", kHub + "1-2")}, {}, {"/dev/ttyUSB0"}},
      {"UART first", {port("/dev/ttyUSB0", kHub + "1-2"), port("/dev/ttyS0")}, {}, {"/dev/ttyS0", "/dev/ttyUSB0"}},
      {"groups, UARTs by number",
       {port("/dev/rfcomm0"), port("/dev/ttyACM0", kHub + "1-1"), port("/dev/ttyS10"),
        port("/dev/ttyUSB3", kHub + "1-3"), port("/dev/ttyS2")},
       {},
       {"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB3", "/dev/ttyACM0", "/dev/rfcomm0"}},
      {"USB by socket, not by kernel number; 1-9 before 1-10; unknown socket last",
       {port("/dev/ttyUSB0", kHub + "1-10/1-10:1.0"), port("/dev/ttyUSB2"), port("/dev/ttyUSB1", kHub + "1-9/1-9:1.0")},
       {},
       {"/dev/ttyUSB1", "/dev/ttyUSB0", "/dev/ttyUSB2"}},
      {"same socket: by name",
       {port("/dev/ttyUSB10", kHub + "1-2"), port("/dev/ttyUSB9", kHub + "1-2")},
       {},
       {"/dev/ttyUSB9", "/dev/ttyUSB10"}},
      {"variables keep their COMs, the rest fill in order",
       {port("/dev/ttyUSB0", kHub + "1-2"), port("/dev/ttyS0")},
       {{1, "/dev/pts/3"}, {3, "/dev/pts/4"}},
       {"/dev/pts/3", "/dev/ttyS0", "/dev/pts/4", "/dev/ttyUSB0"}},
      {"a device that a variable names is not given twice",
       {port("/dev/ttyS0"), port("/dev/ttyUSB0", kHub + "1-2"), port("/dev/ttyUSB1", kHub + "1-3")},
       {{2, "/dev/ttyUSB0"}},
       {"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"}},
      {"not even under a link name",
       {port("/dev/ttyUSB0", kHub + "1-2")},
       {{3, "/dev/serial/by-id/usb-FTDI"}},
       {"", "", "/dev/serial/by-id/usb-FTDI"}},
      {"a device listed twice gets one COM", {port("/dev/ttyS0"), port("/dev/ttyS0")}, {}, {"/dev/ttyS0"}},
      {"ports beyond COM9 are not reachable",
       {port("/dev/ttyS0"), port("/dev/ttyS1"), port("/dev/ttyS2"), port("/dev/ttyS3"), port("/dev/ttyS4"),
        port("/dev/ttyS5"), port("/dev/ttyS6"), port("/dev/ttyS7"), port("/dev/ttyS8"), port("/dev/ttyS9")},
       {{1, "/dev/pts/1"}},
       {"/dev/pts/1", "/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3", "/dev/ttyS4", "/dev/ttyS5", "/dev/ttyS6",
        "/dev/ttyS7"}},
  };
  for (const auto& row : rows) {
    ComSources sources;
    sources.variable = [&](int n) { return row.variables.count(n) ? row.variables.at(n) : std::string(); };
    sources.canonical = [](const std::string& d) { return d == "/dev/serial/by-id/usb-FTDI" ? "/dev/ttyUSB0" : d; };
    const std::vector<ComAssignment> map = assignComs(row.ports, sources);
    ASSERT_EQ(map.size(), 9u);
    for (int n = 1; n <= 9; ++n) {
      const auto i = static_cast<std::size_t>(n - 1);
      EXPECT_EQ(map[i].com, n);
      EXPECT_EQ(map[i].device, i < row.expected.size() ? row.expected[i] : "") << row.what << ", COM" << n;
      EXPECT_EQ(map[i].fromVariable, row.variables.count(n) == 1) << row.what << ", COM" << n;
    }
  }
}

TEST_F(ComNames, fixedNames_comNIsTheSystemsComNAndHigherPortsTakeTheGaps) {
  const struct {
    const char* name;
    std::vector<PortDescription> ports;
    std::vector<std::string> expected;  // COM1, COM2, ... (COM2 is always TORVANE_COM2's)
  } cases[] = {
      {"own names", {port("com3"), port("COM1")}, {"COM1", "", "COM3"}},
      {"COM12 in the first gap, COM10 before COM12",
       {port("COM12"), port("COM1"), port("COM10")},
       {"COM1", "", "COM10", "COM12"}},
      {"a variable's device is not given twice; its number is not a gap",
       {port("COM14"), port("COM12"), port("COM3")},
       {"COM12", "", "COM3"}},
  };
  for (const auto& c : cases) {
    ComSources sources;
    sources.naming = ComNaming::FixedNames;
    sources.variable = [](int n) { return n == 2 ? std::string("COM14") : std::string(); };
    const std::vector<ComAssignment> map = assignComs(c.ports, sources);
    for (std::size_t i = 0; i < map.size(); ++i) {
      const std::string expected = i < c.expected.size() ? c.expected[i] : std::string();
      EXPECT_EQ(map[i].device, i == 1 ? std::string("COM14") : expected) << c.name << ", COM" << i + 1;
      if (i != 1 && !expected.empty()) {
        EXPECT_TRUE(map[i].port.has_value()) << c.name << ", COM" << i + 1;
      }
    }
  }
}

TEST_F(ComNames, variableSet_givesItsDevice) {
  EXPECT_EQ(deviceForCom(3, host, variables), "/dev/ttyUSB0");
  EXPECT_EQ(deviceForCom(9, host, variables), "/dev/pts/7");
  for (int n : {0, 10, -1, 100}) EXPECT_EQ(deviceForCom(n, host, variables), "") << n;
}

// The map asks the host for its ports and for what a name stands for.
TEST_F(ComNames, comMap_takesTheHostsPortsAndAliases) {
  PortDescription ftdi = port("/dev/ttyUSB0", "usb1/1-2");
  ftdi.description = "FT232R USB UART";
  host.ports = {ftdi};
  host.links["/dev/serial/by-id/usb-FTDI"] = "/dev/ttyUSB0";
  const std::vector<ComAssignment> map =
      comMap(host, [](int n) { return n == 2 ? std::string("/dev/serial/by-id/usb-FTDI") : std::string(); });
  EXPECT_EQ(map[0].device, "");  // the adapter is COM2's already, under its alias
  EXPECT_EQ(map[1].device, "/dev/serial/by-id/usb-FTDI");
  ASSERT_TRUE(map[1].port.has_value());
  EXPECT_EQ(map[1].port->description, "FT232R USB UART");
}

TEST_F(ComNames, environment_setsTheVariablesAndTheLookup) {
  test::setEnvironmentVariable("TORVANE_COM4", "/dev/pts/4");
  EXPECT_EQ(environmentComVariable(4), "/dev/pts/4");
  EXPECT_EQ(environmentComVariable(5), "");
  const ComLookup lookup = comMapLookup(host);
  EXPECT_EQ(lookup(4), (ComDevice{"/dev/pts/4", false}));
  EXPECT_EQ(lookup(12), ComDevice{});
}

TEST_F(ComNames, label_namesComAndDevice) {
  EXPECT_EQ(comLabel(3, "/dev/ttyS2"), "COM3 (/dev/ttyS2)");
  EXPECT_EQ(comLabel(3, "COM3"), "COM3");
  EXPECT_EQ(comLabel(12, ""), "COM12");
}

TEST_F(ComNames, listLine_leavesOutWhatIsUnknown) {
  PortDescription ftdi = port("/dev/ttyUSB0");
  ftdi.description = "FT232R USB UART";
  ftdi.manufacturer = "FTDI";
  ftdi.vendorId = 0x0403;
  ftdi.productId = 0x6001;
  ftdi.serialNumber = "A1B2C3D4";
  PortDescription bare = port("/dev/ttyS0");
  PortDescription vendorOnly = port("/dev/ttyACM0");
  vendorOnly.vendorId = 0x2341;
  vendorOnly.serialNumber = "7\x1b[2J";
  PortDescription named = port("/dev/ttyUSB1");
  named.description = "CP2102\n";
  const struct {
    ComAssignment entry;
    const char* line;
  } rows[] = {
      {{1, "/dev/ttyUSB0", ftdi, false}, "COM1  /dev/ttyUSB0  FT232R USB UART (FTDI, 0403:6001, serial A1B2C3D4)"},
      {{4, "", std::nullopt, false}, "COM4  (no device)"},
      {{2, "/dev/ttyS0", bare, false}, "COM2  /dev/ttyS0"},
      {{3, "/dev/ttyACM0", vendorOnly, false}, "COM3  /dev/ttyACM0  (serial 7?[2J)"},
      {{5, "/dev/ttyUSB1", named, false}, "COM5  /dev/ttyUSB1  CP2102?"},
      {{6, "/dev/pts/3", std::nullopt, true}, "COM6  /dev/pts/3  (set by TORVANE_COM6)"},
      {{7, "/dev/ttyUSB0", ftdi, true},
       "COM7  /dev/ttyUSB0  FT232R USB UART (FTDI, 0403:6001, serial A1B2C3D4, set by TORVANE_COM7)"},
  };
  for (const auto& row : rows) EXPECT_EQ(comListLine(row.entry), row.line);
}

}  // namespace
}  // namespace torvane
