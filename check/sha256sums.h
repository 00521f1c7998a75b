// SHA256SUMS: the digests a release folder comes with, as sha256sum writes
// them and "sha256sum -c" reads them: one image a line,
//   <64 hex digits><blank><blank or *><name>
// ("*" marks binary mode, which changes nothing here); a name holding a
// backslash or a line feed is written with a backslash before the digits
// and those characters escaped ("\\", "\n"). Empty lines are passed over.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace torvane::check {

inline constexpr const char* kSumsFileName = "SHA256SUMS";

struct Sha256Sums {
  // Lower-case digest by name, the names as the folder's relative paths
  // (lexically normal: "./code.bin" is "code.bin").
  std::map<std::string, std::string> digests;
  // Lines that cannot be read, and names given twice with other digests:
  // "SHA256SUMS line 3: ..." each.
  std::vector<std::string> problems;

  // The digest listed for an image of the transfer list; none when the
  // image is not listed.
  std::optional<std::string> digestOf(const std::string& imageName) const;
};

// The name as SHA256SUMS and a transfer list both mean it: relative to the
// folder, lexically normal, with "/" between folders.
std::string normalName(const std::string& name);

// Reads `text` (the file's contents).
Sha256Sums parseSha256Sums(const std::string& text);

// SHA256SUMS of `folder`; none when it has no such file. A file that cannot
// be read is a problem of the result.
std::optional<Sha256Sums> readSha256Sums(const std::filesystem::path& folder);

}  // namespace torvane::check
