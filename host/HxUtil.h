// Small platform helpers: trimming, the local time zone's name, and
// removing a directory tree.
#ifndef OLB_HOST_HX_UTIL_H_
#define OLB_HOST_HX_UTIL_H_

#include <string>

// Removes every leading and trailing character that occurs in `chars`.
void TrimInline(std::string& text, std::string chars);

// The display name of the local time zone (for example "UTC" or
// "Europe/Berlin"); the W form is the same text.
std::string GetTimeZoneDisplayNameA();
std::string GetTimeZoneDisplayNameW();

// Removes `path` with everything below it (links are removed, not
// followed); directories are made accessible first. What cannot be removed
// stays.
void RemoveTree(const std::string& path);

#endif  // OLB_HOST_HX_UTIL_H_
