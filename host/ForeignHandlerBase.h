// CForeignHandlerBase: the host's base of every foreign handler. The host
// calls the discovery operations through this table of virtual operations;
// DumpXmlMsgToFile writes one message as one XML file for the host.
#ifndef OLB_HOST_FOREIGN_HANDLER_BASE_H_
#define OLB_HOST_FOREIGN_HANDLER_BASE_H_

#include <string>
#include <vector>

#include "host/Message.h"

// The host's record of one archive file (only named by GetResourcesForBackup).
struct HXArchiveFileRecord {
  std::string path;
};

#define OLB_HOST_API __attribute__((visibility("default")))

class OLB_HOST_API CForeignHandlerBase {
 public:
  CForeignHandlerBase();
  virtual ~CForeignHandlerBase();

  virtual bool DiscoverConfig(CWzMessageBase* config) = 0;
  virtual bool DiscoverStoragePolicies(CWzMessageBase* msg) = 0;
  virtual bool DiscoverClients(CWzMessageBase* msg) = 0;
  virtual bool DiscoverJobs(CWzMessageBase* msg) = 0;
  virtual bool DiscoverMedia(CWzMessageBase* msg) = 0;
  virtual bool DiscoverSchedule(CWzMessageBase* msg) = 0;
  virtual bool RetrieveMetadata() = 0;
  virtual bool DoRestore(CWzMessageBase* msg) = 0;
  virtual int GetProductType() const;
  virtual std::string GetPostProcessingContent();
  virtual std::vector<HXArchiveFileRecord> GetResourcesForBackup();
  virtual bool PrepareContentForPostProcessing();
  virtual bool PostProcessingCleanup();
  virtual bool DiscoverDriveHistory(CWzMessageBase* msg);
  virtual void setRestartString(std::string restart);

  // Writes `msg` as "<seq>-<class>.xml" (for example 0003-ZRC.JobList.xml)
  // into HostEnv::outputDir, under a temporary name that is renamed when
  // complete. False, with no file left behind, on any error.
  //
  // A file's content is on disk before it gets its name, so no crash leaves
  // an incomplete file. The directory, which makes the new names themselves
  // survive a crash, is synced at most once a second while dumps follow each
  // other; SyncDumpDirectory (also run by the destructor) syncs the rest.
  bool DumpXmlMsgToFile(CWzMessageBase* msg, unsigned flags, bool append);
  // Syncs the output directory if a name written since the last sync may not
  // be on disk yet. The host calls it when an operation returns.
  void SyncDumpDirectory();

  // Paths of the files this handler has dumped, in order (for the host
  // program's report).
  const std::vector<std::string>& dumpedFiles() const { return m_dumpedFiles; }
  // How many messages of class (module, type), at any depth, the dumped
  // files hold in all; for example ZRC::JobInfo for the jobs written.
  long long dumpedRecords(int module, int messageType) const;

 private:
  struct RecordCount {
    int module;
    int messageType;
    long long count;
  };
  void CountRecords(const CWzMessageBase& msg, size_t* hint);
  void SyncDirectory(const std::string& dir);

  std::string m_unsyncedDir;  // "" when every name is on disk
  long long m_lastDirSyncMs = 0;

  std::vector<std::string> m_dumpedFiles;
  std::vector<RecordCount> m_recordCounts;
  std::string m_restartString;
};

#endif  // OLB_HOST_FOREIGN_HANDLER_BASE_H_
