// The sources an update run can send, and everything that names one: the
// word the record, the hooks and the command lines use, and the transfer
// list that belongs to it. The one table of them; the option buttons are the
// window's design (form/window_design.h).
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "context/window_ops.h"

namespace torvane {

struct SourceInfo {
  Source source;
  const char* name;      // "program": in records, TORVANE_SOURCE, --source
  const char* listFile;  // "program.txt", in the working folder
  bool offered;          // the window shows its option (Lorebank's never is)
};

// In the order the transfer phase tests the option buttons.
inline constexpr std::array<SourceInfo, 4> kSources = {{
    {Source::Lorebank, "lorebank", "lorebank.txt", false},
    {Source::Program, "program", "program.txt", true},
    {Source::ProgramAndDsd, "all", "all.txt", true},
    {Source::EmergencyRestore, "erestore", "ERestore.txt", true},
}};

constexpr const SourceInfo& sourceInfo(Source source) {
  for (const SourceInfo& info : kSources) {
    if (info.source == source) return info;
  }
  return kSources[1];
}

// The offered source of that name ("program", "all", "erestore"); none for
// any other word.
constexpr std::optional<Source> offeredSourceNamed(std::string_view name) {
  for (const SourceInfo& info : kSources) {
    if (info.offered && name == info.name) return info.source;
  }
  return std::nullopt;
}

// The offered source whose transfer list has that file name.
constexpr std::optional<Source> offeredSourceOfList(std::string_view fileName) {
  for (const SourceInfo& info : kSources) {
    if (info.offered && fileName == info.listFile) return info.source;
  }
  return std::nullopt;
}

// "program, all or erestore": the names a person may give.
inline constexpr const char* kOfferedSourceNames = "program, all or erestore";

}  // namespace torvane
