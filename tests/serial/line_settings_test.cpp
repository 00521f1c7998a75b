#include "serial/line_settings.h"

#include <gtest/gtest.h>

#include "encoding/fault.h"

namespace torvane {
namespace {

TEST(LineSettingsParse, validText_givesFields) {
  const struct {
    const char* text;
    LineSettings expected;
  } rows[] = {
      {"4800,N,8,1", {4800, 'N', 8, 1}},     {"38400,N,8,1", {38400, 'N', 8, 1}}, {"9600,E,7,2", {9600, 'E', 7, 2}},
      {"115200,O,8,1", {115200, 'O', 8, 1}}, {"19200,e,8,2", {19200, 'E', 8, 2}}, {"110,n,7,1", {110, 'N', 7, 1}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(parseLineSettings(row.text), row.expected) << row.text;
  }
}

TEST(LineSettingsParse, invalidText_isInvalidArgumentQuotingIt) {
  const char* rows[] = {
      "",
      "4800",
      "4800,N,8",
      "4800,N,8,1,1",
      "4801,N,8,1",
      "0,N,8,1",
      "-4800,N,8,1",
      "4800,X,8,1",
      "4800,NN,8,1",
      "4800,,8,1",
      "4800,N,6,1",
      "4800,N,9,1",
      "4800,N,8,3",
      "4800,N,8,1.5",
      " 4800,N,8,1",
      "4800,N,8,1 ",
      "4800;N;8;1",
      "99999999999,N,8,1",
      "48OO,N,8,1",
      "4800,M,8,1",
  };
  for (const char* text : rows) {
    try {
      parseLineSettings(text);
      ADD_FAILURE() << "accepted \"" << text << "\"";
    } catch (const Fault& f) {
      EXPECT_EQ(f.number(), fault::kInvalidArgument) << text;
      EXPECT_NE(f.description().find(std::string("\"") + text + "\""), std::string::npos) << f.description();
      EXPECT_EQ(f.source(), "mscCom");
    }
  }
}

}  // namespace
}  // namespace torvane
