#include "check/sha256sums.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "encoding/encoders.h"
#include "encoding/line_reader.h"

namespace torvane::check {

namespace {

bool isDigest(const std::string& text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    if (hexDigit(c) < 0) return false;
  }
  return true;
}

std::string lowerCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Undoes sha256sum's escapes of a name; false for an escape it never writes.
bool unescape(std::string& name) {
  std::string plain;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '\\') {
      plain += name[i];
      continue;
    }
    if (++i == name.size()) return false;
    if (name[i] == '\\') {
      plain += '\\';
    } else if (name[i] == 'n') {
      plain += '\n';
    } else {
      return false;
    }
  }
  name = plain;
  return true;
}

}  // namespace

std::string normalName(const std::string& name) {
  return std::filesystem::path(name).lexically_normal().generic_string();
}

std::optional<std::string> Sha256Sums::digestOf(const std::string& imageName) const {
  const auto found = digests.find(normalName(imageName));
  if (found == digests.end()) return std::nullopt;
  return found->second;
}

Sha256Sums parseSha256Sums(const std::string& text) {
  Sha256Sums sums;
  std::istringstream in(text);
  LineReader reader(in);
  ByteString line;
  while (reader.next(line)) {
    if (line.empty()) continue;
    const std::string where = std::string(kSumsFileName) + " line " + std::to_string(reader.lineNumber()) + ": ";
    const bool escaped = line[0] == '\\';
    const std::string rest = escaped ? line.substr(1) : line;
    std::string name = rest.size() > 66 ? rest.substr(66) : std::string();
    if (!isDigest(rest.substr(0, 64)) || rest.size() <= 66 || rest[64] != ' ' || (rest[65] != ' ' && rest[65] != '*') ||
        (escaped && !unescape(name))) {
      sums.problems.push_back(where + "not \"<64 hexadecimal digits>  <name>\" as sha256sum writes it");
      continue;
    }
    const std::string digest = lowerCase(rest.substr(0, 64));
    const auto [at, added] = sums.digests.emplace(normalName(name), digest);
    if (!added && at->second != digest) sums.problems.push_back(where + name + " is listed twice with two digests");
  }
  return sums;
}

std::optional<Sha256Sums> readSha256Sums(const std::filesystem::path& folder) {
  const std::filesystem::path path = folder / kSumsFileName;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return std::nullopt;
  Sha256Sums sums;
  constexpr std::uintmax_t kLargest = 4 << 20;  // digests of a few images take a few hundred bytes
  if (!std::filesystem::is_regular_file(path, ec) || std::filesystem::file_size(path, ec) > kLargest) {
    sums.problems.push_back(std::string(kSumsFileName) +
                            " is not a file of digests (not a regular file, or too large)");
    return sums;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) {
    sums.problems.push_back(std::string(kSumsFileName) + " cannot be opened");
    return sums;
  }
  return parseSha256Sums(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

}  // namespace torvane::check
