#include "model/DPAJob.h"

#include <algorithm>
#include <iterator>

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

void FillStoragePolicy(StoragePolicyEntity& policy, const DPAJobRecordNames& names) {
  SetField(policy, StoragePolicyEntity::entityType, 17);
  SetField(policy, StoragePolicyEntity::storagePolicyName, names.storagePolicyName);
}

}  // namespace

DPAJob::DPAJob(DPAJob&& other) noexcept
    : m_texts(std::move(other.m_texts)),
      m_sizeMB(other.m_sizeMB),
      m_files(other.m_files),
      m_duration(other.m_duration),
      m_startTime(other.m_startTime) {
  std::copy(std::begin(other.m_ends), std::end(other.m_ends), std::begin(m_ends));
  other.Clear();
}

DPAJob& DPAJob::operator=(DPAJob&& other) noexcept {
  if (this == &other) return *this;
  m_texts = std::move(other.m_texts);
  std::copy(std::begin(other.m_ends), std::end(other.m_ends), std::begin(m_ends));
  m_sizeMB = other.m_sizeMB;
  m_files = other.m_files;
  m_duration = other.m_duration;
  m_startTime = other.m_startTime;
  other.Clear();
  return *this;
}

void DPAJob::Clear() {
  // Six NULs fit in the string's own room: no allocation.
  m_texts.assign(kTextCount, '\0');
  for (int i = 0; i < kTextCount; ++i) m_ends[i] = static_cast<uint32_t>(i);
  m_sizeMB = m_files = m_duration = m_startTime = 0;
}

void DPAJob::SetText(TextIndex i, std::string_view value) {
  uint32_t begin = Begin(i);
  uint32_t oldLength = m_ends[i] - begin;
  m_texts.replace(begin, oldLength, value.data(), value.size());
  uint32_t newLength = static_cast<uint32_t>(value.size());
  for (int j = i; j < kTextCount; ++j) m_ends[j] = m_ends[j] - oldLength + newLength;
}

DPAJobRecordNames::DPAJobRecordNames()
    : hubfieldName(CForeignHandlerDPA::GenerateHubfieldName()),
      storagePolicyName(CForeignHandlerDPA::GenerateDefaultSPName()) {}

// The job record's field table. The fields that are the same for every job
// are set only when the record is filled `whole`; a record made from the
// template already holds them, and each job sets the rest in place.
void DPAJob::FillRecord(ZRC::JobInfo& job, DPAClient& client, DPAGroup& group,
                        DPAJobRecordNames& names, bool whole) const {
  auto text = [&names, this](TextIndex i) -> const std::string& {
    names.text.assign(Text(i));
    return names.text;
  };
  const long long size = static_cast<long long>(Size());
  const HXAppType appType =
      client.GetAppInfo(group, names.appName, names.backupSetName, names.instanceName);

  SetField(job, ZRC::JobInfo::appType, appType);
  SetField(job, ZRC::JobInfo::jobId, text(kJobid));

  if (whole) {
    HubfieldEntity& hubfield = *Object(job, ZRC::JobInfo::hubfield);
    SetField(hubfield, HubfieldEntity::hubfieldName, names.hubfieldName);
    SetField(hubfield, HubfieldEntity::value3, 1);
    SetField(hubfield, HubfieldEntity::entityType, 1);
  }

  SubclientEntity& subclient = *Object(job, ZRC::JobInfo::subclient);
  if (whole) SetField(subclient, SubclientEntity::entityType, 7);
  SetField(subclient, SubclientEntity::clientName, text(kClient));
  SetField(subclient, SubclientEntity::appName, names.appName);
  SetField(subclient, SubclientEntity::appType, appType);
  SetField(subclient, SubclientEntity::instanceName, names.instanceName);
  SetField(subclient, SubclientEntity::backupSetName, names.backupSetName);
  if (whole) SetField(subclient, SubclientEntity::hubfieldName, names.hubfieldName);
  SetField(subclient, SubclientEntity::subclientName, text(kPolicy));
  if (whole) SetField(subclient, SubclientEntity::value21, 1);

  if (whole) {
    ZRC::JobFlags& flags = *Object(job, ZRC::JobInfo::jobFlags);
    SetField(flags, ZRC::JobFlags::value2, 1);
    SetField(flags, ZRC::JobFlags::kind, 4);
    SetField(flags, ZRC::JobFlags::value3, 1);
  }

  ZRC::JobDetail& detail =
      *Object(*Object(job, ZRC::JobInfo::detail), ZRC::JobDetailHolder::detail);
  SetField(detail, ZRC::JobDetail::backupLevel, CForeignHandlerDPA::GetZRCBackupLevel(text(kLevel)));
  SetField(detail, ZRC::JobDetail::status, CForeignHandlerDPA::GetStatus(text(kStatus)));
  SetField(detail, ZRC::JobDetail::startTime, static_cast<long long>(m_startTime));
  SetField(detail, ZRC::JobDetail::duration, CutTo32Bits(m_duration));
  if (whole) SetField(detail, ZRC::JobDetail::kind, 4);
  SetField(detail, ZRC::JobDetail::size, size);
  SetField(detail, ZRC::JobDetail::dataSize, size);
  SetField(detail, ZRC::JobDetail::elapsed, CutTo32Bits(m_duration));
  SetField(detail, ZRC::JobDetail::fileCount, static_cast<long long>(m_files));
  if (whole) FillStoragePolicy(*Object(detail, ZRC::JobDetail::storagePolicy), names);

  ZRC::DataInfoList& dataList = *Object(job, ZRC::JobInfo::dataInfo);
  ZRC::DataInfo& data =
      whole ? Append(dataList, ZRC::DataInfoList::items) : List(dataList, ZRC::DataInfoList::items)->back();
  if (whole) {
    SetField(data, ZRC::DataInfo::value2, 1);
    SetField(data, ZRC::DataInfo::kind, 4);
  }
  SetField(data, ZRC::DataInfo::dataSize, size);
  if (whole) FillStoragePolicy(*Object(data, ZRC::DataInfo::storagePolicy), names);
}

bool DPAJob::BuildJob(std::vector<ZRC::JobInfo>* jobs, DPAClient* client, DPAGroup* group) const {
  DPAJobRecordNames names;
  jobs->emplace_back();
  FillRecord(jobs->back(), *client, *group, names, true);
  return true;
}

DPAJobRecordTemplate::DPAJobRecordTemplate() {
  DPAClient client;
  DPAGroup group;
  DPAJob().FillRecord(record, client, group, names, true);
}

void DPAJobRecordTemplate::Recycle(std::vector<ZRC::JobInfo>* records) {
  for (ZRC::JobInfo& r : *records) spare.push_back(std::move(r));
  records->clear();
}

bool DPAJob::BuildJob(std::vector<ZRC::JobInfo>* jobs, DPAClient* client, DPAGroup* group,
                      DPAJobRecordTemplate& tmpl) const {
  if (tmpl.spare.empty()) {
    jobs->push_back(tmpl.record);
  } else {
    jobs->push_back(std::move(tmpl.spare.back()));
    tmpl.spare.pop_back();
  }
  FillRecord(jobs->back(), *client, *group, tmpl.names, false);
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
  std::string_view id = job.JobidView();
  if (m_listHandedOut) {
    // The jobs may have changed behind the table's back: compare with each.
    m_slots.clear();
    for (const DPAJob& held : m_jobs) {
      if (EqualsIgnoreAsciiCase(held.JobidView(), id)) return;
    }
    m_jobs.push_back(std::move(job));
    return;
  }
  if ((m_jobs.size() + 1) * 2 > m_slots.size()) Grow();
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
