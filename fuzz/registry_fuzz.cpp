// The registry reader on an arbitrary registry file: the seven settings
// through HXPlatformInfo and through DiscoverConfig. A value found is
// trimmed and holds no line end or NUL; an integer found is also found as
// its decimal text; DiscoverConfig always succeeds and appends 1 to 5.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "handler/CForeignHandlerDPA.h"
#include "host/HXPlatformInfo.h"
#include "host/HostEnv.h"

namespace {

const char* const kStringKeys[] = {"sDPAUSER", "sDPAPASSWORD", "sDPADBNAME", "sDPAINSTALLDIR",
                                   "sDPAEXENAME", "nDPADBTYPE"};
const char* const kIntKeys[] = {"nDPADBTYPE", "nDPADBPORT", "sDPAUSER"};
const char* const kSections[] = {"kRelayUnit", "~kRelayUnit", "KRELAYUNIT", ""};

void CheckValue(const std::string& value) {
  OLB_FUZZ_CHECK(value.find('\n') == std::string::npos, "a value holds a line end");
  OLB_FUZZ_CHECK(value.find('\0') == std::string::npos, "a value holds a NUL");
  if (!value.empty()) {
    OLB_FUZZ_CHECK(value.front() != ' ' && value.front() != '\t', "a value starts with a blank");
    OLB_FUZZ_CHECK(value.back() != ' ' && value.back() != '\t', "a value ends with a blank");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  olbfuzz::Init();
  HostEnv::Get().registryFile = olbfuzz::WriteInput("registry.ini", data, size);

  HXPlatformInfo info;
  for (const char* section : kSections) {
    for (const char* key : kStringKeys) {
      std::string value = "unchanged";
      if (info.getString(section, key, &value) != 0) {
        CheckValue(value);
      } else {
        OLB_FUZZ_CHECK(value == "unchanged", "a key not found changed the value");
      }
    }
    for (const char* key : kIntKeys) {
      int value = 12345;
      if (info.getRegInt(section, key, &value)) {
        std::string text;
        OLB_FUZZ_CHECK(info.getString(section, key, &text) != 0,
                       "an integer was found but not its text");
        OLB_FUZZ_CHECK(std::strtoll(text.c_str(), nullptr, 10) == value,
                       "an integer differs from its text");
      } else {
        OLB_FUZZ_CHECK(value == 12345, "an integer not found changed the value");
      }
    }
  }

  CForeignHandlerDPA handler;
  CWzMessageBase config(30, 0);
  OLB_FUZZ_CHECK(handler.DiscoverConfig(&config), "DiscoverConfig failed");
  const std::vector<int>* flags = config.getlistint(20, 62, kWzMsgId1, kWzMsgId2, false);
  OLB_FUZZ_CHECK(flags != nullptr && *flags == std::vector<int>({1, 2, 3, 4, 5}),
                 "DiscoverConfig did not append 1 to 5");
  CheckValue(CForeignHandlerDPA::m_dbContext.getUserName());
  CheckValue(CForeignHandlerDPA::m_dbContext.getPassword());
  return 0;
}
