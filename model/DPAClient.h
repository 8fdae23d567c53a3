// DPAClient and DPAGroup: what client discovery learns from the datastore, one
// DPAClient per backup client (plus one for the datastore server, the master
// server), each with copies of the groups (policies) that protect it. A
// DPAClient also builds its App::ClientInfo for the client list message.
#ifndef OLB_MODEL_DPA_CLIENT_H_
#define OLB_MODEL_DPA_CLIENT_H_

#include <string>
#include <utility>
#include <vector>

#include "host/Messages.h"

class DPAGroup {
 public:
  DPAGroup() = default;
  void PolicyName(std::string name) { m_policyName = std::move(name); }
  void PolicyType(std::string type) { m_policyType = std::move(type); }
  std::string PolicyName() const { return m_policyName; }

 private:
  std::string m_policyName;
  std::string m_policyType;
};

class DPAClient {
 public:
  DPAClient() = default;

  void ClientName(std::string name) { m_clientName = std::move(name); }
  std::string ClientName() const { return m_clientName; }
  void MasterServer(bool master) { m_masterServer = master; }
  bool MasterServer() const { return m_masterServer; }
  void addPolicy(const DPAGroup& group) { m_policyList.push_back(group); }
  std::vector<DPAGroup>& Policylist() { return m_policyList; }
  const std::vector<DPAGroup>& Policylist() const { return m_policyList; }

  // The agent of a group: 130, "Other External Agent", "defaultBackupSet",
  // "defaultInstanceName", whatever the group.
  HXAppType GetAppInfo(DPAGroup& group, std::string& appName, std::string& backupSetName,
                       std::string& instanceName);

  // Client hierarchy messages.
  bool BuildClientHierarchy(App::ClientsList& list);
  bool BuildKRUInfo(App::ClientInfo& clientInfo);
  bool BuildInstanceInfo(App::KRUInfo* kru, HXAppType appType, std::string appName,
                         std::string backupSetName, std::string instanceName, DPAGroup& group);
  bool BuildBackupSetInfo(App::InstanceInfo* instance, HXAppType appType, std::string appName,
                          std::string backupSetName, std::string instanceName, DPAGroup& group);
  bool BuildSubclientInfo(App::BackupSetInfo* backupSet, HXAppType appType, std::string appName,
                          std::string backupSetName, std::string instanceName, DPAGroup& group);
  void BuildMasterServer(App::ClientInfo& clientInfo);
  void BuildMediaServer(App::ClientInfo& clientInfo);

 private:
  std::string m_clientName;
  std::vector<DPAGroup> m_policyList;
  bool m_masterServer = false;
};

#endif  // OLB_MODEL_DPA_CLIENT_H_
