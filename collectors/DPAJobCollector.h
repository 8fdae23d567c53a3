// CDPAJobCollector: reads the backup jobs that DPA recorded into a
// DPAJobInformation, and notes under each storage unit the ids of the jobs
// written to it (CForeignHandlerDPA::AddJobToMedia).
//
// Each output line holds ten comma-separated values: group, client, number
// of files, job id, size in megabytes, storage unit, status, start time,
// duration and level. Shorter lines are skipped; a job id repeated on the
// next accepted line is dropped.
#ifndef OLB_COLLECTORS_DPA_JOB_COLLECTOR_H_
#define OLB_COLLECTORS_DPA_JOB_COLLECTOR_H_

#include <string>
#include <vector>

#include "collectors/CDPACollector.h"
#include "collectors/CDPAOracleCollector.h"

class CDPAJobCollector : public CDPACollector {
 public:
  CDPAJobCollector() = default;

  std::string _GetCommandLine() override;
  using CDPACollector::_ParseData;
  // `out` is a DPAJobInformation; always true.
  bool _ParseData(void* out, const std::string& path) override;
  const char* _GetFileNameForData() const override;
  std::string GetQuery() override;
};

// psql variant; no discovery operation creates it.
class CDPAJobCollector_PG : public CDPAJobCollector {
 public:
  std::string _GetCommandLine() override;
  std::string GetQuery() override;
};

// SQL*Plus variant used by job discovery.
class CDPAJobCollectorV58_ORACLE : public CDPAJobCollector, public CDPAOracleCollector {
 public:
  std::string _GetCommandLine() override;
  std::string GetQuery() override;
};

#endif  // OLB_COLLECTORS_DPA_JOB_COLLECTOR_H_
