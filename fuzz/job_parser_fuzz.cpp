// The job parser on an arbitrary output file. The container holds each job
// id once (ASCII case ignored), every held job is listed under a storage
// unit of the media map, and the job records built from the first jobs must
// give a valid message file.
#include <strings.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "collectors/DPAJobCollector.h"
#include "fuzz/FuzzSupport.h"
#include "handler/CForeignHandlerDPA.h"
#include "model/DPAClient.h"
#include "model/DPAJob.h"
#include "model/MessageAccess.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  olbfuzz::Init();
  std::string path = olbfuzz::WriteInput("olb_dpa_jobs.txt", data, size);

  CForeignHandlerDPA::media_job_map.clear();
  DPAJobInformation jobs;
  CDPAJobCollector collector;
  OLB_FUZZ_CHECK(collector._ParseData(&jobs, path), "the job parser failed");

  std::set<std::string> ids;
  for (const DPAJob& job : jobs.GetJobs()) {
    OLB_FUZZ_CHECK(ids.insert(Lower(job.Jobid())).second, "a job id is held twice");
  }
  std::set<std::string> mapped;
  size_t entries = 0;
  for (const auto& unit : CForeignHandlerDPA::media_job_map) {
    entries += unit.second.size();
    for (const std::string& id : unit.second) mapped.insert(Lower(id));
  }
  OLB_FUZZ_CHECK(entries >= jobs.GetJobCount(), "fewer media map entries than jobs");
  for (const std::string& id : ids) {
    OLB_FUZZ_CHECK(mapped.count(id) == 1, "a held job is under no storage unit");
  }
  CForeignHandlerDPA::media_job_map.clear();  // static: it would grow run after run

  ZRC::JobList list;
  SetField(list, ZRC::JobList::productKind, 16);
  SetField(list, ZRC::JobList::flags, 0);
  std::vector<ZRC::JobInfo>* records = List(list, ZRC::JobList::jobs);
  size_t built = 0;
  for (const DPAJob& job : jobs.GetJobs()) {
    if (++built > 16) break;
    DPAClient client;
    client.ClientName(job.ClientName());
    DPAGroup group;
    group.PolicyName(job.PolicyName());
    client.addPolicy(group);
    job.BuildJob(records, &client, &client.Policylist()[0]);
  }
  OLB_FUZZ_CHECK(records->size() == std::min<size_t>(jobs.GetJobCount(), 16),
                 "a job record is missing");
  olbfuzz::CheckMessageXml(list);
  return 0;
}
