#include <map>
#include <memory>
#include <string>
#include <vector>

#include "collectors/DPAJobCollector.h"
#include "handler/CForeignHandlerDPA.h"
#include "host/EvDebug.h"
#include "model/AsciiText.h"
#include "model/DPAJob.h"
#include "model/MessageAccess.h"

bool CForeignHandlerDPA::DiscoverJobs(CWzMessageBase*) {
  static const char* const kContext = "CForeignHandlerDPA::DiscoverJobs";
  EvDebug log(nullptr);

  // The map describes the jobs of this run only (a second run would
  // otherwise list every job twice under its storage unit), so the
  // collector fills an empty one. The previous run's map is kept aside and
  // put back when this run fails: a failed run leaves what the last good one
  // left.
  std::map<std::string, std::vector<std::string>> previous;
  previous.swap(media_job_map);

  std::unique_ptr<CDPAJobCollectorV58_ORACLE> collector(new CDPAJobCollectorV58_ORACLE());
  collector->setDBContext(m_dbContext);
  DPAJobInformation jobs;
  if (!collector->FetchData(&jobs)) {
    log.Debug(kContext, "job collection failed");
    media_job_map.swap(previous);
    return false;
  }

  ZRC::JobList list;
  SetField(list, ZRC::JobList::productKind, 16);
  SetField(list, ZRC::JobList::flags, 0);
  if (!jobs.BuildJob(list, this)) {
    log.Debug(kContext, "job list not completely written");
    media_job_map.swap(previous);
    return false;
  }
  return true;
}

void CForeignHandlerDPA::FindClientAndPolicy(std::string client, std::string policy,
                                             DPAClient*& foundClient, DPAGroup*& foundGroup) {
  // Every client is looked at: a later client of the same name that has the
  // group replaces an earlier one.
  for (DPAClient& candidate : m_clients) {
    if (!EqualsIgnoreAsciiCase(candidate.ClientName(), client)) continue;
    for (DPAGroup& group : candidate.Policylist()) {
      if (EqualsIgnoreAsciiCase(group.PolicyName(), policy)) {
        foundClient = &candidate;
        foundGroup = &group;
        break;
      }
    }
  }
}
