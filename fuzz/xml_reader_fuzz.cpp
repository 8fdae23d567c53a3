// The XML reader on arbitrary documents: it must never crash, and whatever
// it accepts must write out as a valid document that reads back equal.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "host/MessageXml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  olbfuzz::Init();
  std::string text(reinterpret_cast<const char*>(data), size);
  CWzMessageBase msg(0, 0);
  std::string error;
  if (!ReadMessageXml(text, msg, &error)) {
    OLB_FUZZ_CHECK(!error.empty(), "the reader refused a document without saying why");
    return 0;
  }
  olbfuzz::CheckMessageXml(msg);
  return 0;
}
