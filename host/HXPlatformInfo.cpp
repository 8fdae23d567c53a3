#include "host/HXPlatformInfo.h"

#include <string.h>
#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/EvDebug.h"
#include "host/HostEnv.h"

namespace {

const char kContext[] = "HXPlatformInfo";
const char kBlanks[] = " \t";

std::string Trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

// Looks `key` up in `section` of the registry file. The whole file is read on
// every call (it is small and may change between reads); the first
// occurrence of a key wins. Section and key names compare without regard to
// case, as the registry's do. Malformed lines are skipped with a log line
// that names the line but never shows it (it may hold a password).
bool Lookup(const char* section, const char* key, std::string* value) {
  if (section == nullptr || key == nullptr) return false;
  const std::string& path = HostEnv::Get().registryFile;
  if (path.empty()) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream whole;
  whole << in.rdbuf();
  std::string text = whole.str();

  EvDebug log;
  bool inSection = false;
  bool found = false;
  size_t lineNo = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find('\0') != std::string::npos) {
      log.Debug(kContext, "Skipping line [%zu] of [%s]: it holds a NUL character", lineNo,
                path.c_str());
      continue;
    }
    line = Trimmed(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']') {
        log.Debug(kContext, "Skipping line [%zu] of [%s]: section name without closing ]",
                  lineNo, path.c_str());
        inSection = false;  // keys below it belong to no section
        continue;
      }
      std::string name = Trimmed(line.substr(1, line.size() - 2));
      inSection = strcasecmp(name.c_str(), section) == 0;
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      log.Debug(kContext, "Skipping line [%zu] of [%s]: no = in it", lineNo, path.c_str());
      continue;
    }
    std::string name = Trimmed(line.substr(0, eq));
    if (name.empty()) {
      log.Debug(kContext, "Skipping line [%zu] of [%s]: empty key", lineNo, path.c_str());
      continue;
    }
    if (inSection && !found && strcasecmp(name.c_str(), key) == 0) {
      *value = Trimmed(line.substr(eq + 1));
      found = true;
    }
  }
  return found;
}

// Decimal with an optional sign, nothing else, within 32 bits.
bool ParseInt32(const std::string& text, int* out) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i == text.size()) return false;
  for (size_t j = i; j < text.size(); ++j) {
    if (text[j] < '0' || text[j] > '9') return false;
  }
  errno = 0;
  long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  *out = static_cast<int>(v);
  return true;
}

}  // namespace

int HXPlatformInfo::getString(const char* section, const char* key, std::string* value) {
  std::string found;
  if (value == nullptr || !Lookup(section, key, &found)) return 0;
  // A password never shows in the log or a failure reason from now on.
  if (strcasestr(key, "PASSWORD") != nullptr) HostEnv::Get().AddSecret(found);
  *value = found;
  return 1;
}

bool HXPlatformInfo::getRegInt(const char* section, const char* key, int* value) {
  std::string text;
  int parsed = 0;
  if (value == nullptr || !Lookup(section, key, &text)) return false;
  if (!ParseInt32(text, &parsed)) {
    EvDebug log;
    log.Debug(kContext, "Value of [%s] in [%s] is not a 32-bit integer", key, section);
    return false;
  }
  *value = parsed;
  return true;
}
