// The disk library parser on an arbitrary output file: one disk library per
// row of four or more fields, in file order; the library and media items
// built from the result (with job ids on each media) must give valid
// message files.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "collectors/DPADiskLibraryCollector.h"
#include "fuzz/FuzzSupport.h"
#include "model/DPADiskLibrary.h"
#include "model/MessageAccess.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  olbfuzz::Init();
  std::string path = olbfuzz::WriteInput("olb_dpa_disklibs.txt", data, size);

  std::vector<DPADiskLibrary> disks;
  CDPADiskLibCollector collector;
  OLB_FUZZ_CHECK(collector._ParseData(&disks, path), "the disk library parser failed");

  size_t lineEnds = 0;
  for (size_t i = 0; i < size; ++i) lineEnds += data[i] == '\n';
  OLB_FUZZ_CHECK(disks.size() <= lineEnds + 1, "more disk libraries than rows");

  ZRC::ForeignLibraries libraries;
  ZRC::ForeignMedias medias;
  for (size_t i = 0; i < disks.size() && i < 16; ++i) {
    DPADiskLibrary& disk = disks[i];
    OLB_FUZZ_CHECK(disk.BuildDiskLib(*Object(libraries, ZRC::ForeignLibraries::libraryList)),
                   "a disk library item failed");
    // The media carries job ids; the names of the libraries serve as ids.
    std::vector<std::string> jobIds = {disk.Name(), disk.Volumeid(), ""};
    OLB_FUZZ_CHECK(disk.BuildDiskMedia(*Object(medias, ZRC::ForeignMedias::mediaList), jobIds),
                   "a disk media item failed");
  }
  olbfuzz::CheckMessageXml(libraries);
  olbfuzz::CheckMessageXml(medias);
  return 0;
}
