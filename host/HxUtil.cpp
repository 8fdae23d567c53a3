#include "host/HxUtil.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>

void TrimInline(std::string& text, std::string chars) {
  if (chars.empty()) return;
  size_t last = text.find_last_not_of(chars);
  if (last == std::string::npos) {
    text.clear();
    return;
  }
  text.erase(last + 1);
  text.erase(0, text.find_first_not_of(chars));
}

namespace {

// "Europe/Berlin" out of "/usr/share/zoneinfo/Europe/Berlin" (also below
// zoneinfo/posix/ or zoneinfo/right/); "" when the path is not below a
// zoneinfo directory.
std::string ZoneFromPath(const std::string& path) {
  const std::string marker = "zoneinfo/";
  size_t at = path.rfind(marker);
  if (at == std::string::npos) return std::string();
  std::string zone = path.substr(at + marker.size());
  for (const char* prefix : {"posix/", "right/"}) {
    if (zone.compare(0, std::string(prefix).size(), prefix) == 0) {
      zone.erase(0, std::string(prefix).size());
    }
  }
  return zone;
}

std::string FromEnvironment() {
  const char* tz = std::getenv("TZ");
  if (tz == nullptr || *tz == '\0') return std::string();
  std::string zone = tz[0] == ':' ? tz + 1 : tz;
  if (zone.find('/') == 0) {
    std::string below = ZoneFromPath(zone);
    if (!below.empty()) return below;
  }
  return zone;
}

std::string FromEtcTimezone() {
  std::ifstream in("/etc/timezone");
  std::string line;
  if (!in || !std::getline(in, line)) return std::string();
  TrimInline(line, " \t\r");
  return line;
}

std::string FromEtcLocaltime() {
  char buf[4096];
  ssize_t n = readlink("/etc/localtime", buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  return ZoneFromPath(std::string(buf, static_cast<size_t>(n)));
}

std::string FromTzname() {
  tzset();
  if (tzname[0] != nullptr && tzname[0][0] != '\0') return tzname[0];
  return std::string();
}

}  // namespace

std::string GetTimeZoneDisplayNameA() {
  for (auto source : {FromEnvironment, FromEtcTimezone, FromEtcLocaltime, FromTzname}) {
    std::string zone = source();
    if (!zone.empty()) return zone;
  }
  return "UTC";
}

std::string GetTimeZoneDisplayNameW() { return GetTimeZoneDisplayNameA(); }

void RemoveTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;
  if (!S_ISDIR(st.st_mode)) {
    unlink(path.c_str());
    return;
  }
  chmod(path.c_str(), 0700);
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") RemoveTree(path + "/" + name);
    }
    closedir(dir);
  }
  rmdir(path.c_str());
}
