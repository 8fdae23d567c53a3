#include "collectors/DPALibraryCollector.h"

#include <fstream>

#include "collectors/FileUtils.h"
#include "host/EvDebug.h"
#include "model/DPALibrary.h"

namespace {

const char kLibraryQuery[] =
    "select distinct f_device_host || ',' || f_jukebox_name || ',' || f_device_name || ',' || "
    "REPLACE(f_device_path, ',', '-') || ',' || f_device_type || ',' || f_device_class  from "
    "datamine.device_config where f_firmware <> 'Magnetic'";

}  // namespace

std::string CDPALibraryCollector::_GetCommandLine() { return std::string(); }

const char* CDPALibraryCollector::_GetFileNameForData() const { return "olb_dpa_libraries.txt"; }

std::string CDPALibraryCollector::GetQuery() { return kLibraryQuery; }

bool CDPALibraryCollector::_ParseData(void* ctx, const std::string& fileName) {
  // The tape parser logs under the disk library parser's name.
  const char* context = "CDPADiskLibCollector::_ParseData";
  EvDebug log;
  auto* info = static_cast<DPALibraryInformation*>(ctx);
  if (info == nullptr) {
    log.Debug(context, "No library container given");
    return false;
  }
  std::ifstream in(fileName);
  int driveRowCount = 0;
  log.DebugLvl(context, 5, "Processing library information");

  std::string line;
  std::vector<std::string> fields;
  while (ReadLineFromFile(in, line)) {
    if (line.empty()) continue;
    log.DebugLvl(context, 30, "Processing library - [%s]", line.c_str());
    fields.clear();
    SplitOutputLine(line, fields);
    if (fields.size() < 6) continue;

    ++driveRowCount;
    DPALibrary library;
    library.setHostName(fields[0]);
    library.setLibName(fields[1]);
    DPADrive drive;
    drive.setDriveName(fields[2]);
    drive.setDrivePath(fields[3]);
    drive.setDriveType(fields[5]);
    log.DebugLvl(context, 5, "Discovered library [%s] and drive [%s]",
                 library.getLibName().c_str(), drive.getDriveName().c_str());
    info->addDriveToLibrary(library, drive);
  }
  log.DebugLvl(context, 1, "Discovered [%d] libraries and [%d] drives",
               static_cast<int>(info->getSize()), driveRowCount);
  return true;
}

std::string CDPALibraryCollectorV58_ORACLE::_GetCommandLine() {
  return BuildOracleCommandLine(m_dbContext, GetQuery());
}

std::string CDPALibraryCollectorV58_ORACLE::GetQuery() { return kLibraryQuery; }
