// HXPlatformInfo: reads the agent's registry. The stand-in registry is an
// INI-like file named by HostEnv::registryFile:
//   [kRelayUnit]
//   sDPAUSER=dpa
//   [~kRelayUnit]
//   nDPADBPORT=1521
// A missing file or key reads as not found; a malformed line is skipped with
// a log line.
#ifndef OLB_HOST_HX_PLATFORM_INFO_H_
#define OLB_HOST_HX_PLATFORM_INFO_H_

#include <string>

class HXPlatformInfo {
 public:
  HXPlatformInfo() = default;
  // Non-zero when found; the value is stored in *value.
  int getString(const char* section, const char* key, std::string* value);
  // True when found and the value is a 32-bit integer; stored in *value.
  bool getRegInt(const char* section, const char* key, int* value);
};

#endif  // OLB_HOST_HX_PLATFORM_INFO_H_
