// DiscoverMedia: the disk pools and tape libraries of the DPA datastore,
// written as one library message (default library, disk libraries, tape
// libraries) and one media message (one disk media per disk library, with
// the ids of the jobs that job discovery recorded for it).
#include <memory>
#include <string>
#include <vector>

#include "collectors/DPADiskLibraryCollector.h"
#include "collectors/DPALibraryCollector.h"
#include "handler/CForeignHandlerDPA.h"
#include "host/EvDebug.h"
#include "model/DPADiskLibrary.h"
#include "model/DPALibrary.h"
#include "model/MessageAccess.h"

namespace {

// The header fields that the library and media roots share.
template <class Root>
void SetMediaHeader(Root& root) {
  SetField(root, Root::flags, 0);
  SetField(root, Root::hubfieldName, CForeignHandlerDPA::GenerateHubfieldName());
  SetField(root, Root::productKind, 16);
  SetField(root, Root::sourceName, "unknown");
  SetField(root, Root::sourceKind, 16);
}

}  // namespace

bool CForeignHandlerDPA::DiscoverMedia(CWzMessageBase*) {
  const char* context = "CForeignHandlerDPA::DiscoverMedia";
  EvDebug log;

  ZRC::ForeignLibraries libraries;
  ZRC::ForeignMedias medias;
  SetMediaHeader(medias);
  SetMediaHeader(libraries);

  BuildDefaultLibrary(libraries);

  std::vector<DPADiskLibrary> diskLibraries;
  std::unique_ptr<CDPADiskLibCollector> diskCollector(new CDPADiskLibCollectorV58_ORACLE());
  diskCollector->setDBContext(m_dbContext);
  if (!diskCollector->FetchData(&diskLibraries)) {
    log.Debug(context, "Failed to collect disk libraries");
    return false;
  }
  log.Debug(context, "Found [%d] disk libraries", static_cast<int>(diskLibraries.size()));

  for (DPADiskLibrary& disk : diskLibraries) {
    ZRC::ForeignLibraryList* libraryList =
        Object(libraries, ZRC::ForeignLibraries::libraryList, true);
    if (disk.BuildDiskLib(*libraryList)) {
      log.Debug(context, "Successfully built disk library [%s]", disk.Name().c_str());
    }
    std::vector<std::string> jobIds;
    GetJobsForMedia(disk.Name(), jobIds);
    ZRC::ForeignMediaList* mediaList = Object(medias, ZRC::ForeignMedias::mediaList, true);
    if (disk.BuildDiskMedia(*mediaList, jobIds)) {
      log.Debug(context, "Successfully built disk media for library [%s]", disk.Name().c_str());
    }
  }

  DPALibraryInformation tapeLibraries;
  std::unique_ptr<CDPALibraryCollector> tapeCollector(new CDPALibraryCollectorV58_ORACLE());
  tapeCollector->setDBContext(m_dbContext);
  if (!tapeCollector->FetchData(&tapeLibraries)) {
    log.Debug(context, "Unable to collect library information");
    return false;
  }
  tapeLibraries.BuildLibraries(libraries);

  if (!DumpXmlMsgToFile(&libraries, 0, false)) {
    log.Debug(context, "Unable to dump libraries xml");
    return false;
  }
  if (!DumpXmlMsgToFile(&medias, 0, false)) {
    log.Debug(context, "Unable to dump media xml");
    return false;
  }
  return true;
}
