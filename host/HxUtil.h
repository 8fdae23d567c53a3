// Small platform helpers: trimming and the local time zone's name.
#ifndef OLB_HOST_HX_UTIL_H_
#define OLB_HOST_HX_UTIL_H_

#include <string>

// Removes every leading and trailing character that occurs in `chars`.
void TrimInline(std::string& text, std::string chars);

// The display name of the local time zone (for example "UTC" or
// "Europe/Berlin"); the W form is the same text.
std::string GetTimeZoneDisplayNameA();
std::string GetTimeZoneDisplayNameW();

#endif  // OLB_HOST_HX_UTIL_H_
