// CForeignHandlerDPA: the plug-in's only entry point. The host constructs it
// and calls its discovery operations; they read the DPA datastore through the
// collectors and write what they find as message files through the host.
//
// State carried from one operation to the next: the client list m_clients
// (per handler), and per process the connection settings m_dbContext, the
// server name m_serverName and the media-to-jobs map media_job_map.
#ifndef OLB_HANDLER_CFOREIGN_HANDLER_DPA_H_
#define OLB_HANDLER_CFOREIGN_HANDLER_DPA_H_

#include <map>
#include <string>
#include <vector>

#include "handler/DBContext.h"
#include "host/ForeignHandlerBase.h"
#include "host/Messages.h"
#include "model/DPAClient.h"

#define OLB_DPA_API __attribute__((visibility("default")))

class OLB_DPA_API CForeignHandlerDPA : public CForeignHandlerBase {
 public:
  CForeignHandlerDPA();
  ~CForeignHandlerDPA() override;

  bool DiscoverConfig(CWzMessageBase* config) override;
  bool DiscoverStoragePolicies(CWzMessageBase* msg) override;
  bool DiscoverClients(CWzMessageBase* msg) override;
  bool DiscoverJobs(CWzMessageBase* msg) override;
  bool DiscoverMedia(CWzMessageBase* msg) override;
  bool DiscoverSchedule(CWzMessageBase* msg) override;
  bool RetrieveMetadata() override;
  bool DoRestore(CWzMessageBase* msg) override;

  // Media-to-jobs map.
  static void AddJobToMedia(const std::string& media, const std::string& job);
  static void GetJobsForMedia(const std::string& media, std::vector<std::string>& jobs);

  // Naming.
  static std::string GetServerName();
  static void SetServerName(const std::string& name);
  static std::string GenerateHubfieldName();
  static std::string GenerateDefaultSPName();
  static std::string GenerateDefaultLibraryName();

  // Mapping of DPA texts onto the host's numbers.
  static int GetZRCBackupLevel(std::string level);
  static int GetStatus(std::string status);
  static int _MapDPALibraryTypeToHXLibraryType(std::string type);

  // The last client of m_clients named `client` (ASCII case ignored) that has
  // a group named `policy`, and within it the first such group. Both
  // out-arguments are left untouched when nothing matches.
  void FindClientAndPolicy(std::string client, std::string policy, DPAClient*& foundClient,
                           DPAGroup*& foundGroup);

  static void PopulateOsInfo(App::OperatingSystem* os);
  static void BuildDefaultLibrary(ZRC::ForeignLibraries& libraries);

  std::vector<DPAClient> m_clients;

  static DBContext m_dbContext;
  static std::string m_serverName;
  static std::map<std::string, std::vector<std::string>> media_job_map;
};

// Appends the default storage policy (with its primary copy and the data
// path to the default disk library) to `list`.
void BuildDefaultSP(ZRC::StoragePolicyList& list);

#endif  // OLB_HANDLER_CFOREIGN_HANDLER_DPA_H_
