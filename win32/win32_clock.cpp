#include "win32/win32_clock.h"

#include <windows.h>

#include "win32/wide_text.h"

namespace torvane {

Win32Clock::Win32Clock() {
  LARGE_INTEGER value;
  ::QueryPerformanceFrequency(&value);
  frequency_ = value.QuadPart > 0 ? value.QuadPart : 1;
  ::QueryPerformanceCounter(&value);
  started_ = value.QuadPart;
}

double Win32Clock::seconds() {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart - started_) / static_cast<double>(frequency_);
}

// The user's long time format, which carries the seconds ("14:05:09",
// "2:05:09 PM").
std::string Win32Clock::timeOfDayText() {
  wchar_t text[64];
  if (::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, nullptr, nullptr, text, 64) <= 0) {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    ::GetTimeFormatEx(LOCALE_NAME_INVARIANT, 0, &now, L"HH':'mm':'ss", text, 64);
  }
  return utf8(text);
}

}  // namespace torvane
