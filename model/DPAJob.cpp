#include "model/DPAJob.h"

#include "handler/CForeignHandlerDPA.h"
#include "host/EvDebug.h"
#include "model/AsciiText.h"
#include "model/ClientPolicyIndex.h"
#include "model/MessageAccess.h"

namespace {

// Only the low 32 bits of a duration count, read as a signed value.
long long CutTo32Bits(uint64_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(value & 0xffffffffu));
}

void FillStoragePolicy(StoragePolicyEntity& policy, const std::string& name) {
  SetField(policy, StoragePolicyEntity::entityType, 17);
  SetField(policy, StoragePolicyEntity::storagePolicyName, name);
}

}  // namespace

void DPAJob::SetText(TextIndex i, std::string_view value) {
  uint32_t begin = Begin(i);
  uint32_t oldLength = m_ends[i] - begin;
  m_texts.replace(begin, oldLength, value.data(), value.size());
  uint32_t newLength = static_cast<uint32_t>(value.size());
  for (int j = i; j < kTextCount; ++j) m_ends[j] = m_ends[j] - oldLength + newLength;
}

bool DPAJob::BuildJob(std::vector<ZRC::JobInfo>* jobs, DPAClient* client, DPAGroup* group) const {
  jobs->emplace_back();
  ZRC::JobInfo& job = jobs->back();

  std::string appName, backupSetName, instanceName;
  HXAppType appType = client->GetAppInfo(*group, appName, backupSetName, instanceName);
  const std::string hubfieldName = CForeignHandlerDPA::GenerateHubfieldName();
  const std::string policyName = CForeignHandlerDPA::GenerateDefaultSPName();

  SetField(job, ZRC::JobInfo::appType, appType);
  SetField(job, ZRC::JobInfo::jobId, Jobid());

  HubfieldEntity& hubfield = *Object(job, ZRC::JobInfo::hubfield);
  SetField(hubfield, HubfieldEntity::hubfieldName, hubfieldName);
  SetField(hubfield, HubfieldEntity::value3, 1);
  SetField(hubfield, HubfieldEntity::entityType, 1);

  SubclientEntity& subclient = *Object(job, ZRC::JobInfo::subclient);
  SetField(subclient, SubclientEntity::entityType, 7);
  SetField(subclient, SubclientEntity::clientName, ClientName());
  SetField(subclient, SubclientEntity::appName, appName);
  SetField(subclient, SubclientEntity::appType, appType);
  SetField(subclient, SubclientEntity::instanceName, instanceName);
  SetField(subclient, SubclientEntity::backupSetName, backupSetName);
  SetField(subclient, SubclientEntity::hubfieldName, hubfieldName);
  SetField(subclient, SubclientEntity::subclientName, PolicyName());
  SetField(subclient, SubclientEntity::value21, 1);

  ZRC::JobFlags& flags = *Object(job, ZRC::JobInfo::jobFlags);
  SetField(flags, ZRC::JobFlags::value2, 1);
  SetField(flags, ZRC::JobFlags::kind, 4);
  SetField(flags, ZRC::JobFlags::value3, 1);

  ZRC::JobDetailHolder& holder = *Object(job, ZRC::JobInfo::detail);
  ZRC::JobDetail& detail = *Object(holder, ZRC::JobDetailHolder::detail);
  SetField(detail, ZRC::JobDetail::backupLevel, CForeignHandlerDPA::GetZRCBackupLevel(Level()));
  SetField(detail, ZRC::JobDetail::status, CForeignHandlerDPA::GetStatus(Status()));
  SetField(detail, ZRC::JobDetail::startTime, static_cast<long long>(m_startTime));
  SetField(detail, ZRC::JobDetail::duration, CutTo32Bits(m_duration));
  SetField(detail, ZRC::JobDetail::kind, 4);
  SetField(detail, ZRC::JobDetail::size, static_cast<long long>(Size()));
  SetField(detail, ZRC::JobDetail::dataSize, static_cast<long long>(Size()));
  SetField(detail, ZRC::JobDetail::elapsed, CutTo32Bits(m_duration));
  SetField(detail, ZRC::JobDetail::fileCount, static_cast<long long>(m_files));
  FillStoragePolicy(*Object(detail, ZRC::JobDetail::storagePolicy), policyName);

  ZRC::DataInfoList& dataList = *Object(job, ZRC::JobInfo::dataInfo);
  ZRC::DataInfo& data = Append(dataList, ZRC::DataInfoList::items);
  SetField(data, ZRC::DataInfo::value2, 1);
  SetField(data, ZRC::DataInfo::kind, 4);
  SetField(data, ZRC::DataInfo::dataSize, static_cast<long long>(Size()));
  FillStoragePolicy(*Object(data, ZRC::DataInfo::storagePolicy), policyName);
  return true;
}

DPAJobRecordTemplate::DPAJobRecordTemplate() {
  std::vector<ZRC::JobInfo> one;
  DPAClient client;
  DPAGroup group;
  DPAJob().BuildJob(&one, &client, &group);
  record = std::move(one.back());
}

void DPAJobRecordTemplate::Recycle(std::vector<ZRC::JobInfo>* records) {
  for (ZRC::JobInfo& r : *records) spare.push_back(std::move(r));
  records->clear();
}

bool DPAJob::BuildJob(std::vector<ZRC::JobInfo>* jobs, DPAClient* client, DPAGroup* group,
                      DPAJobRecordTemplate& tmpl) const {
  // Template and spare records have every field in place, so each set below
  // replaces a value where it stands and the record reads as if built field
  // by field. Every field that depends on the job is set.
  if (tmpl.spare.empty()) {
    jobs->push_back(tmpl.record);
  } else {
    jobs->push_back(std::move(tmpl.spare.back()));
    tmpl.spare.pop_back();
  }
  ZRC::JobInfo& job = jobs->back();

  HXAppType appType =
      client->GetAppInfo(*group, tmpl.appName, tmpl.backupSetName, tmpl.instanceName);
  SetField(job, ZRC::JobInfo::appType, appType);
  tmpl.text.assign(Text(kJobid));
  SetField(job, ZRC::JobInfo::jobId, tmpl.text);

  SubclientEntity& subclient = *FindObject(job, ZRC::JobInfo::subclient);
  tmpl.text.assign(Text(kClient));
  SetField(subclient, SubclientEntity::clientName, tmpl.text);
  SetField(subclient, SubclientEntity::appName, tmpl.appName);
  SetField(subclient, SubclientEntity::appType, appType);
  SetField(subclient, SubclientEntity::instanceName, tmpl.instanceName);
  SetField(subclient, SubclientEntity::backupSetName, tmpl.backupSetName);
  tmpl.text.assign(Text(kPolicy));
  SetField(subclient, SubclientEntity::subclientName, tmpl.text);

  ZRC::JobDetail& detail =
      *FindObject(*FindObject(job, ZRC::JobInfo::detail), ZRC::JobDetailHolder::detail);
  tmpl.text.assign(Text(kLevel));
  SetField(detail, ZRC::JobDetail::backupLevel, CForeignHandlerDPA::GetZRCBackupLevel(tmpl.text));
  tmpl.text.assign(Text(kStatus));
  SetField(detail, ZRC::JobDetail::status, CForeignHandlerDPA::GetStatus(tmpl.text));
  SetField(detail, ZRC::JobDetail::startTime, static_cast<long long>(m_startTime));
  SetField(detail, ZRC::JobDetail::duration, CutTo32Bits(m_duration));
  SetField(detail, ZRC::JobDetail::size, static_cast<long long>(Size()));
  SetField(detail, ZRC::JobDetail::dataSize, static_cast<long long>(Size()));
  SetField(detail, ZRC::JobDetail::elapsed, CutTo32Bits(m_duration));
  SetField(detail, ZRC::JobDetail::fileCount, static_cast<long long>(m_files));

  ZRC::DataInfo& data =
      List(*FindObject(job, ZRC::JobInfo::dataInfo), ZRC::DataInfoList::items)->back();
  SetField(data, ZRC::DataInfo::dataSize, static_cast<long long>(Size()));
  return true;
}

void DPAJobInformation::Grow() {
  size_t size = m_slots.empty() ? 64 : m_slots.size() * 2;
  std::vector<Slot> slots(size);
  size_t mask = size - 1;
  for (const Slot& s : m_slots) {
    if (s.index == kEmpty) continue;
    size_t i = s.hash & mask;
    while (slots[i].index != kEmpty) i = (i + 1) & mask;
    slots[i] = s;
  }
  m_slots.swap(slots);
}

void DPAJobInformation::AddJob(DPAJob job) {
  if ((m_jobs.size() + 1) * 2 > m_slots.size()) Grow();
  std::string_view id = job.JobidView();
  uint64_t h64 = HashIgnoreAsciiCase(id);
  uint32_t hash = static_cast<uint32_t>(h64 ^ (h64 >> 32));
  size_t mask = m_slots.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& slot = m_slots[i];
    if (slot.index == kEmpty) {
      slot.hash = hash;
      slot.index = static_cast<uint32_t>(m_jobs.size());
      m_jobs.push_back(std::move(job));
      return;
    }
    if (slot.hash == hash && EqualsIgnoreAsciiCase(m_jobs[slot.index].JobidView(), id)) return;
  }
}

bool DPAJobInformation::BuildJob(ZRC::JobList& list, CForeignHandlerDPA* handler) {
  static const char* const kContext = "DPAJobInformation::BuildJob";
  EvDebug log(nullptr);
  std::vector<ZRC::JobInfo>* records = List(list, ZRC::JobList::jobs);
  ClientPolicyIndex index(handler->m_clients);
  DPAJobRecordTemplate tmpl;
  // Records the caller left in the list are not ours to fill again.
  bool foreignRecords = !records->empty();

  auto dump = [&]() {
    if (handler->DumpXmlMsgToFile(&list, 0, false)) {
      log.Error(kContext, "[%d] jobs dumped -> clearing the list",
                static_cast<int>(records->size()));
      if (foreignRecords) {
        records->clear();
        foreignRecords = false;
      } else {
        tmpl.Recycle(records);
      }
    } else {
      log.Error(kContext, "unable to dump jobs xml file");
    }
  };

  for (const DPAJob& job : m_jobs) {
    log.DebugLvl(kContext, 3, "Building job [%s]", job.JobidView().data());
    DPAClient* client = nullptr;
    DPAGroup* group = nullptr;
    index.Find(job.ClientNameView(), job.PolicyNameView(), client, group);
    if (client == nullptr || group == nullptr) {
      log.DebugLvl(kContext, 3, "Unable to map job id [%s]", job.JobidView().data());
      continue;
    }
    job.BuildJob(records, client, group, tmpl);
    if (records->size() > 999) dump();
  }
  if (!records->empty()) dump();
  if (!records->empty()) {
    log.Error(kContext, "[%d] job records could not be written and are lost",
              static_cast<int>(records->size()));
    return false;
  }
  return true;
}
