#include "collectors/DPAJobCollector.h"

#include <cstdlib>
#include <fstream>

#include "collectors/FileUtils.h"
#include "handler/CForeignHandlerDPA.h"
#include "host/EvDebug.h"
#include "model/AsciiText.h"
#include "model/DPAJob.h"

namespace {

const char kJobQuery[] =
    "select f_name, f_display_name, f_global_name, f_agent_name, f_nfiles, f_jobid2, f_size, "
    "f_storage_unit, f_status, b.f_endtime, b.f_starttime, b.f_endtime - b.f_starttime as "
    "duration, b.f_level, f_job_name  from apollo.node n, backupjob b where n.f_id = "
    "b.f_group_id \torder by bj.f_jobid";

const char kJobQueryV58[] =
    "select distinct f_group_name ||','|| bj.f_client_name ||','|| bj.f_nfiles ||','|| "
    "bj.f_jobid ||','|| bj.f_sizetransferred ||','|| bj.f_storage_unit ||','|| bj.f_status "
    "||','|| bj.f_starttime ||','|| (bj.f_endtime - bj.f_starttime) ||','|| bj.f_level from "
    "datamine.backupjob bj, config.nodes node where bj.f_group_name = node.f_name and "
    "node.f_type = 516 and bj.f_jobid is not null ";

// A leading unsigned decimal, as "%llu" reads it ("-5" wraps around as it
// does there); 0 when the text holds no number.
unsigned long long ReadUnsigned(const std::string& text) {
  return std::strtoull(text.c_str(), nullptr, 10);
}

// The transferred size: a leading signed decimal, as "%ld" reads it. A
// negative size means nothing sensible and reads as 0 rather than as an
// enormous count.
unsigned long long ReadSizeMB(const std::string& text) {
  long value = std::strtol(text.c_str(), nullptr, 10);
  return value < 0 ? 0 : static_cast<unsigned long long>(value);
}

}  // namespace

std::string CDPAJobCollector::_GetCommandLine() { return GetQuery(); }

const char* CDPAJobCollector::_GetFileNameForData() const { return "olb_dpa_jobs.txt"; }

std::string CDPAJobCollector::GetQuery() { return kJobQuery; }

bool CDPAJobCollector::_ParseData(void* out, const std::string& path) {
  static const char* const kContext = "CDPAJobCollector::_ParseData";
  EvDebug log(nullptr);
  DPAJobInformation* jobs = static_cast<DPAJobInformation*>(out);
  if (jobs == nullptr) {
    log.Debug(kContext, "No job container given");
    return false;
  }
  std::ifstream in(path);
  std::string line;
  std::vector<std::string> fields;
  std::string lastJobId;
  // One job reused for every line: each accepted line sets all of its
  // fields, and its texts keep their room, so a line costs no allocation
  // until the container takes its copy.
  DPAJob job;

  while (ReadLineFromFile(in, line)) {
    log.DebugLvl(kContext, 30, "Processing line - [%s]", line.c_str());
    SplitOutputLine(line, fields);
    if (fields.size() <= 9) continue;

    job.PolicyName(fields[0]);
    job.SizeMB(ReadSizeMB(fields[4]));
    job.Jobid(fields[3]);
    if (EqualsIgnoreAsciiCase(fields[3], lastJobId)) continue;
    lastJobId = fields[3];

    job.ClientName(fields[1]);
    job.Files(ReadUnsigned(fields[2]));
    job.Media(fields[5]);
    job.Status(fields[6]);
    job.StartTime(ReadUnsigned(fields[7]));
    job.Duration(ReadUnsigned(fields[8]));
    job.Level(fields[9]);

    CForeignHandlerDPA::AddJobToMedia(fields[5], fields[3]);
    log.DebugLvl(kContext, 5,
                 "Found job [%s], level [%s], policy [%s], client [%s], size [%llu], #of files "
                 "[%llu], status [%s]",
                 fields[3].c_str(), fields[9].c_str(), fields[0].c_str(), fields[1].c_str(),
                 static_cast<unsigned long long>(job.Size()),
                 static_cast<unsigned long long>(job.Files()), fields[6].c_str());
    jobs->AddJob(job);
  }

  log.DebugLvl(kContext, 1, "Discovered [%d] jobs", static_cast<int>(jobs->GetJobCount()));
  return true;
}

std::string CDPAJobCollector_PG::_GetCommandLine() {
  return BuildFixedPsqlCommandLine(m_dbContext, GetQuery());
}

std::string CDPAJobCollector_PG::GetQuery() { return CDPAJobCollector::GetQuery(); }

std::string CDPAJobCollectorV58_ORACLE::_GetCommandLine() {
  return BuildOracleCommandLine(m_dbContext, GetQuery(), true);
}

std::string CDPAJobCollectorV58_ORACLE::GetQuery() { return kJobQueryV58; }
