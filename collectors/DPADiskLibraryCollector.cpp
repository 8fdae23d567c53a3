#include "collectors/DPADiskLibraryCollector.h"

#include <fstream>
#include <vector>

#include "collectors/FileUtils.h"
#include "host/EvDebug.h"
#include "model/DPADiskLibrary.h"

namespace {

const char kDiskLibraryQuery[] =
    "select DISTINCT f_pool_name ||','||  f_path ||','|| f_disk_type ||','|| f_volume_id from "
    "datamine.disk_volume_config";

}  // namespace

std::string CDPADiskLibCollector::_GetCommandLine() { return CDPADiskLibCollector::GetQuery(); }

const char* CDPADiskLibCollector::_GetFileNameForData() const { return "olb_dpa_disklibs.txt"; }

std::string CDPADiskLibCollector::GetQuery() { return kDiskLibraryQuery; }

bool CDPADiskLibCollector::_ParseData(void* ctx, const std::string& fileName) {
  EvDebug log;
  auto* libraries = static_cast<std::vector<DPADiskLibrary>*>(ctx);
  if (libraries == nullptr) {
    log.Debug("CDPADiskLibCollector::_ParseData", "No disk library container given");
    return false;
  }
  std::ifstream in(fileName);
  std::string line;
  std::vector<std::string> fields;
  while (ReadLineFromFile(in, line)) {
    fields.clear();
    SplitOutputLine(line, fields);
    if (fields.size() < 4) continue;
    DPADiskLibrary library;
    library.Name(fields[0]);
    library.Mountpath(fields[1]);
    library.Volumeid(fields[3]);
    libraries->push_back(library);
  }
  return true;
}

std::string CDPADiskLibCollector_PG::_GetCommandLine() {
  return BuildFixedPsqlCommandLine(m_dbContext, GetQuery());
}

std::string CDPADiskLibCollector_PG::GetQuery() { return CDPADiskLibCollector::GetQuery(); }

std::string CDPADiskLibCollectorV58_ORACLE::_GetCommandLine() {
  return BuildOracleCommandLine(m_dbContext, GetQuery());
}

std::string CDPADiskLibCollectorV58_ORACLE::GetQuery() { return kDiskLibraryQuery; }
