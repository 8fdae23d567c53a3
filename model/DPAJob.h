// DPAJob and DPAJobInformation: the backup jobs that the job collector reads
// from the datastore, and their records in the job list message.
//
// A DPAJob keeps its six texts back to back in one string, so that a million
// jobs held at once stay small. DPAJobInformation holds the jobs in the order
// they were added, each job id (ASCII case ignored) once, and builds the job
// list in batches of at most 1000 records.
#ifndef OLB_MODEL_DPA_JOB_H_
#define OLB_MODEL_DPA_JOB_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/Messages.h"
#include "model/DPAClient.h"

class CForeignHandlerDPA;
struct DPAJobRecordNames;
struct DPAJobRecordTemplate;

class DPAJob {
 public:
  DPAJob() = default;
  DPAJob(const DPAJob&) = default;
  DPAJob& operator=(const DPAJob&) = default;
  // A job moved from is left empty, as a new one, and stays usable.
  DPAJob(DPAJob&& other) noexcept;
  DPAJob& operator=(DPAJob&& other) noexcept;

  std::string Jobid() const { return std::string(Text(kJobid)); }
  void Jobid(std::string id) { SetText(kJobid, id); }
  std::string PolicyName() const { return std::string(Text(kPolicy)); }
  void PolicyName(std::string name) { SetText(kPolicy, name); }
  std::string ClientName() const { return std::string(Text(kClient)); }
  void ClientName(std::string name) { SetText(kClient, name); }
  std::string Status() const { return std::string(Text(kStatus)); }
  void Status(std::string status) { SetText(kStatus, status); }
  std::string Level() const { return std::string(Text(kLevel)); }
  void Level(std::string level) { SetText(kLevel, level); }
  void Media(std::string media) { SetText(kMedia, media); }

  uint64_t Files() const { return m_files; }
  void Files(uint64_t files) { m_files = files; }
  uint64_t Duration() const { return m_duration; }
  void Duration(uint64_t duration) { m_duration = duration; }
  uint64_t StartTime() const { return m_startTime; }
  void StartTime(uint64_t start) { m_startTime = start; }
  void SizeMB(uint64_t megabytes) { m_sizeMB = megabytes; }
  // Bytes: the megabytes shifted left by 20 bits.
  uint64_t Size() const { return m_sizeMB << 20; }

  // The texts without a copy, each followed by a NUL so that data() can be
  // printed with %s; valid until the job is changed.
  std::string_view JobidView() const { return Text(kJobid); }
  std::string_view PolicyNameView() const { return Text(kPolicy); }
  std::string_view ClientNameView() const { return Text(kClient); }
  std::string_view StatusView() const { return Text(kStatus); }
  std::string_view LevelView() const { return Text(kLevel); }

  // Appends the record of this job, for `client` and its `group`, to `jobs`.
  // Always true.
  bool BuildJob(std::vector<ZRC::JobInfo>* jobs, DPAClient* client, DPAGroup* group) const;
  // The same record, made from a spare record of the template or a copy of
  // its empty one, with every field that depends on the job set in place
  // (far fewer allocations, and none for a spare record).
  bool BuildJob(std::vector<ZRC::JobInfo>* jobs, DPAClient* client, DPAGroup* group,
                DPAJobRecordTemplate& tmpl) const;

 private:
  friend struct DPAJobRecordTemplate;
  enum TextIndex { kJobid, kPolicy, kClient, kStatus, kLevel, kMedia, kTextCount };

  uint32_t Begin(TextIndex i) const { return i == 0 ? 0 : m_ends[i - 1] + 1; }
  std::string_view Text(TextIndex i) const {
    return std::string_view(m_texts.data() + Begin(i), m_ends[i] - Begin(i));
  }
  void SetText(TextIndex i, std::string_view value);
  void Clear();
  // Sets the fields of `record`: with `whole` every field, in the record's
  // field order; otherwise only those that depend on the job.
  void FillRecord(ZRC::JobInfo& record, DPAClient& client, DPAGroup& group,
                  DPAJobRecordNames& names, bool whole) const;

  // The six texts back to back, each followed by a NUL; m_ends holds where
  // each text ends (at its NUL).
  std::string m_texts = std::string(kTextCount, '\0');
  uint32_t m_ends[kTextCount] = {0, 1, 2, 3, 4, 5};
  uint64_t m_sizeMB = 0;
  uint64_t m_files = 0;
  uint64_t m_duration = 0;
  uint64_t m_startTime = 0;
};

// The names a job record takes: those of the Hubfield and default storage
// policy, the same for every record, as they are when this is made; room for
// the agent names of each record; scratch text.
struct DPAJobRecordNames {
  DPAJobRecordNames();

  std::string hubfieldName;
  std::string storagePolicyName;
  std::string appName;
  std::string backupSetName;
  std::string instanceName;
  std::string text;
};

// What building many records shares: the record of an empty job (every field
// in its place), records already written that can be filled again, and the
// names, so that a record costs a copy at most.
struct DPAJobRecordTemplate {
  DPAJobRecordTemplate();
  // Empties `records`, keeping them for reuse by BuildJob. Only for records
  // built from this template.
  void Recycle(std::vector<ZRC::JobInfo>* records);

  DPAJobRecordNames names;
  ZRC::JobInfo record;
  std::vector<ZRC::JobInfo> spare;
};

// The jobs of one discovery run, in insertion order, one per job id.
class DPAJobInformation {
 public:
  DPAJobInformation() = default;

  // Appends `job` unless a job with the same id (ASCII case ignored) is held.
  void AddJob(DPAJob job);
  size_t GetJobCount() const { return m_jobs.size(); }
  // The jobs themselves. Whatever a caller changes through this list (ids,
  // order, entries removed), AddJob still compares with the jobs as they
  // are: from here on it looks through them one by one.
  std::vector<DPAJob>& GetJobs() {
    m_listHandedOut = true;
    return m_jobs;
  }
  const std::vector<DPAJob>& GetJobs() const { return m_jobs; }

  // Builds the record of every job whose client and group the handler knows
  // into the job list of `list`, dumping the list through the handler each
  // time it holds 1000 records and once at the end. False when records were
  // left unwritten because the last dump failed (the count is logged).
  bool BuildJob(ZRC::JobList& list, CForeignHandlerDPA* handler);

 private:
  // Open-addressing table of job positions, hashed by lower-cased job id.
  struct Slot {
    uint32_t hash = 0;
    uint32_t index = kEmpty;
  };
  static constexpr uint32_t kEmpty = 0xffffffffu;
  void Grow();

  std::vector<DPAJob> m_jobs;
  std::vector<Slot> m_slots;
  // Set once the list was handed out for change: the table may no longer
  // match it.
  bool m_listHandedOut = false;
};

#endif  // OLB_MODEL_DPA_JOB_H_
