// The tape library parser on an arbitrary output file: every library holds
// at least one drive and no more drives than there were rows; the library
// message built from the result must give a valid message file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "collectors/DPALibraryCollector.h"
#include "fuzz/FuzzSupport.h"
#include "model/DPALibrary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  olbfuzz::Init();
  std::string path = olbfuzz::WriteInput("olb_dpa_libraries.txt", data, size);

  DPALibraryInformation info;
  CDPALibraryCollector collector;
  OLB_FUZZ_CHECK(collector._ParseData(&info, path), "the tape library parser failed");

  size_t lineEnds = 0;
  for (size_t i = 0; i < size; ++i) lineEnds += data[i] == '\n';
  size_t drives = 0;
  for (const auto& entry : info.libraries()) {
    DPALibrary library = entry.second;
    OLB_FUZZ_CHECK(library.getLibName() == entry.first, "a library is filed under another name");
    OLB_FUZZ_CHECK(library.getNumberOfDrives() >= 1, "a library without drives");
    drives += library.getNumberOfDrives();
  }
  OLB_FUZZ_CHECK(drives <= lineEnds + 1, "more drives than rows");

  ZRC::ForeignLibraries libraries;
  info.BuildLibraries(libraries);
  olbfuzz::CheckMessageXml(libraries);
  return 0;
}
