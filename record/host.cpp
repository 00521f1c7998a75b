#include "record/host.h"

#include <chrono>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace torvane {

namespace {

std::string twoDigits(long n) { return {static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)}; }

#ifdef _WIN32

std::wstring wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string utf8(const std::wstring& text) {
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

#endif

}  // namespace

std::string processEnvironment(const std::string& name) {
#ifdef _WIN32
  const wchar_t* value = _wgetenv(wide(name).c_str());
  return value != nullptr ? utf8(value) : std::string();
#else
  const char* value = std::getenv(name.c_str());
  return value != nullptr ? value : "";
#endif
}

std::string hostName() {
#ifdef _WIN32
  DWORD size = 0;
  GetComputerNameExW(ComputerNameDnsHostname, nullptr, &size);  // size: with the final NUL
  std::wstring name(size, L'\0');
  if (size == 0 || !GetComputerNameExW(ComputerNameDnsHostname, name.data(), &size)) return {};
  name.resize(size);  // now without the NUL
  return utf8(name);
#else
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
#endif
}

std::string userName(const EnvLookup& environment) {
  for (const char* name : {"USER", "LOGNAME", "USERNAME"}) {
    std::string user = environment(name);
    if (!user.empty()) return user;
  }
  return {};
}

std::string isoWithOffset(const std::tm& local, long offsetSeconds) {
  const long minutes = (offsetSeconds < 0 ? -offsetSeconds : offsetSeconds) / 60;
  return std::to_string(local.tm_year + 1900) + '-' + twoDigits(local.tm_mon + 1) + '-' + twoDigits(local.tm_mday) +
         'T' + twoDigits(local.tm_hour) + ':' + twoDigits(local.tm_min) + ':' + twoDigits(local.tm_sec) +
         (offsetSeconds < 0 ? '-' : '+') + twoDigits(minutes / 60) + ':' + twoDigits(minutes % 60);
}

std::string localTimeNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &now) != 0) return {};
  std::tm asUtc = local;  // _mkgmtime reads the local fields as UTC (and normalises them)
  const long offset = static_cast<long>(_mkgmtime(&asUtc) - now);
#else
  if (::localtime_r(&now, &local) == nullptr) return {};
  const long offset = local.tm_gmtoff;
#endif
  return isoWithOffset(local, offset);
}

std::string pathText(const std::filesystem::path& path) {
#ifdef _WIN32
  return utf8(std::filesystem::path(path).make_preferred().native());
#else
  return path.native();
#endif
}

std::filesystem::path pathFromText(const std::string& text) {
#ifdef _WIN32
  return std::filesystem::path(wide(text));
#else
  return std::filesystem::path(text);
#endif
}

void ignoreFileSizeSignal() {
#ifndef _WIN32
  ::signal(SIGXFSZ, SIG_IGN);
#endif
}

}  // namespace torvane
