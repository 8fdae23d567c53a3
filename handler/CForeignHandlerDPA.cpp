// The handler's shared state, its stub operations, the media-to-jobs map, and
// the naming and mapping helpers that every discovery operation uses.
#include "handler/CForeignHandlerDPA.h"

#include "model/AsciiText.h"
#include "model/MessageAccess.h"

DBContext CForeignHandlerDPA::m_dbContext;
std::string CForeignHandlerDPA::m_serverName;
std::map<std::string, std::vector<std::string>> CForeignHandlerDPA::media_job_map;

CForeignHandlerDPA::CForeignHandlerDPA() = default;

CForeignHandlerDPA::~CForeignHandlerDPA() = default;

bool CForeignHandlerDPA::DiscoverSchedule(CWzMessageBase*) { return true; }

bool CForeignHandlerDPA::RetrieveMetadata() { return true; }

bool CForeignHandlerDPA::DoRestore(CWzMessageBase*) { return true; }

void CForeignHandlerDPA::AddJobToMedia(const std::string& media, const std::string& job) {
  media_job_map[media].push_back(job);
}

void CForeignHandlerDPA::GetJobsForMedia(const std::string& media,
                                         std::vector<std::string>& jobs) {
  jobs = media_job_map[media];
}

std::string CForeignHandlerDPA::GetServerName() { return m_serverName; }

void CForeignHandlerDPA::SetServerName(const std::string& name) { m_serverName = name; }

std::string CForeignHandlerDPA::GenerateHubfieldName() { return "DPA_" + GetServerName(); }

std::string CForeignHandlerDPA::GenerateDefaultSPName() { return GenerateHubfieldName() + "_SP"; }

std::string CForeignHandlerDPA::GenerateDefaultLibraryName() {
  return "DefaultDiskLibrary_" + GetServerName();
}

int CForeignHandlerDPA::GetZRCBackupLevel(std::string level) {
  if (EqualsIgnoreAsciiCase(level, "Full")) return 1;
  if (EqualsIgnoreAsciiCase(level, "Differential Incr")) return 4;
  if (EqualsIgnoreAsciiCase(level, "Cumulative Incr")) return 2;
  return 0;
}

int CForeignHandlerDPA::GetStatus(std::string status) {
  if (EqualsIgnoreAsciiCase(status, "success")) return 1;
  if (EqualsIgnoreAsciiCase(status, "fail")) return 2;
  return 7;
}

int CForeignHandlerDPA::_MapDPALibraryTypeToHXLibraryType(std::string) { return 0; }

void CForeignHandlerDPA::PopulateOsInfo(App::OperatingSystem* os) {
  if (os == nullptr) return;
  SetField(*os, App::OperatingSystem::code, 0);
  SetField(*os, App::OperatingSystem::text2, "Any");
  SetField(*os, App::OperatingSystem::text3, "Any");
  SetField(*os, App::OperatingSystem::text5, "Any");
  // The detail object is fetched anew before each write, made on first use.
  if (auto* detail = Object(*os, App::OperatingSystem::nested6)) {
    SetField(*detail, App::OperatingSystemDetail::text1, "Any");
  }
  if (auto* detail = Object(*os, App::OperatingSystem::nested6)) {
    SetField(*detail, App::OperatingSystemDetail::text3, "Any");
  }
}
