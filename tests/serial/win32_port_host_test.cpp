// The Windows host look-ups against a registry key of the test.
#include "serial/win32_port_host.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

namespace torvane {
namespace {

class Win32PortHostKey : public ::testing::Test {
 protected:
  void SetUp() override {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const auto& [name, port] : {std::pair{"\\Device\\Serial0", "COM3"}, std::pair{"\\Device\\VCP0", "COM12"}}) {
      ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(port), static_cast<DWORD>(strlen(port) + 1));
    }
    ::RegSetValueExA(key, "\\Device\\Odd", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4);
    ::RegCloseKey(key);
  }
  void TearDown() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\TorVane-port-tests"); }

  const std::string kKey = "Software\\TorVane-port-tests\\SERIALCOMM";
  const Win32PortHost host{Win32PortHost::Hive::CurrentUser, kKey};
};

TEST_F(Win32PortHostKey, serialPorts_areTheNamesTheKeyHolds) {
  std::vector<std::string> names;
  for (const PortDescription& port : host.serialPorts()) names.push_back(port.device);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"COM12", "COM3"}));
}

TEST_F(Win32PortHostKey, names_compareInUpperCase) {
  EXPECT_EQ(host.canonicalDevice("com12"), "COM12");
  EXPECT_TRUE(host.devicePresent("com3"));  // listed
  EXPECT_FALSE(host.devicePresent("TORVANE-NO-SUCH-PORT"));
  EXPECT_FALSE(host.devicePresent(""));
  EXPECT_TRUE(host.mayReadWrite("COM3"));  // a refusal means "in use"
}

}  // namespace
}  // namespace torvane
