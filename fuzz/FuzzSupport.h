// The fuzz targets' harnesses. Each <name>_fuzz.cpp names one of them with
// OLB_FUZZ_TARGET. A harness feeds the input to one parser or reader, checks
// what it must always hold, and has every message built from the result
// written, validated against host/message.xsd and read back equal. A failed
// check aborts, so that libFuzzer keeps the input.
#ifndef OLB_FUZZ_FUZZ_SUPPORT_H_
#define OLB_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>

namespace olbfuzz {

void ClientParser(const uint8_t* data, size_t size);
void GroupParser(const uint8_t* data, size_t size);
void ServerParser(const uint8_t* data, size_t size);
void JobParser(const uint8_t* data, size_t size);
void TapeLibraryParser(const uint8_t* data, size_t size);
void DiskLibraryParser(const uint8_t* data, size_t size);
void Registry(const uint8_t* data, size_t size);
void SplitLine(const uint8_t* data, size_t size);
void XmlReader(const uint8_t* data, size_t size);
void XmlRoundTrip(const uint8_t* data, size_t size);

}  // namespace olbfuzz

#define OLB_FUZZ_TARGET(harness)                                          \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { \
    olbfuzz::harness(data, size);                                         \
    return 0;                                                             \
  }

#endif  // OLB_FUZZ_FUZZ_SUPPORT_H_
