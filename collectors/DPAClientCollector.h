// The collectors of client discovery: the datastore server (the master
// server), the backup clients and the backup groups with the client each one
// protects. All three fill the handler's client list, a
// std::vector<DPAClient> passed to FetchData: the server collector appends
// the master server's entry, the client collector one entry per client, and
// the group collector attaches each group to a client already in the list.
//
// Each kind comes in three classes: the base collector (generic query), its
// _PG variant (psql command line) and its V58_ORACLE variant (SQL*Plus
// against the DPA 5.8 datastore, the one DiscoverClients uses).
#ifndef OLB_COLLECTORS_DPA_CLIENT_COLLECTOR_H_
#define OLB_COLLECTORS_DPA_CLIENT_COLLECTOR_H_

#include <string>
#include <vector>

#include "collectors/CDPACollector.h"
#include "collectors/CDPAOracleCollector.h"

// ---- server ----

class CDPAServerCollector : public CDPACollector {
 public:
  using CForeignCmdExecBase::_ParseData;
  std::string _GetCommandLine() override { return GetQuery(); }
  // Takes the first line only: the server name is its first field up to the
  // first ':'.
  bool _ParseData(void* out, const std::string& path) override;
  const char* _GetFileNameForData() const override { return "olb_dpa_server.txt"; }
  std::string GetQuery() override;
};

class CDPAServerCollector_PG : public CDPAServerCollector {
 public:
  std::string _GetCommandLine() override;
  std::string GetQuery() override { return CDPAServerCollector::GetQuery(); }
};

class CDPAServerCollectorV58_ORACLE : public CDPAServerCollector, public CDPAOracleCollector {
 public:
  using CForeignCmdExecBase::_ParseData;
  std::string _GetCommandLine() override;
  // Takes the first line that holds a data row: its first field, whole, is
  // the server name. The tool's own message lines are passed over.
  bool _ParseData(void* out, const std::string& path) override;
  std::string GetQuery() override;
};

// ---- clients ----

class CDPAClientCollector : public CDPACollector {
 public:
  using CForeignCmdExecBase::_ParseData;
  std::string _GetCommandLine() override { return GetQuery(); }
  // One client per line that ends with ','; the name is the line without
  // that comma.
  bool _ParseData(void* out, const std::string& path) override;
  const char* _GetFileNameForData() const override { return "olb_dpa_node.txt"; }
  std::string GetQuery() override;
};

class CDPAClientCollector_PG : public CDPAClientCollector {
 public:
  std::string _GetCommandLine() override;
  std::string GetQuery() override { return CDPAClientCollector::GetQuery(); }
};

class CDPAClientCollectorV58_ORACLE : public CDPAClientCollector, public CDPAOracleCollector {
 public:
  std::string _GetCommandLine() override;
  std::string GetQuery() override;
};

// ---- groups ----

class CDPAGroupCollector : public CDPACollector {
 public:
  using CForeignCmdExecBase::_ParseData;
  std::string _GetCommandLine() override { return GetQuery(); }
  // Lines of at least four fields: policy name, client name, media server,
  // policy type. The group goes to the first client of that exact name.
  bool _ParseData(void* out, const std::string& path) override;
  const char* _GetFileNameForData() const override { return "olb_dpa_group.txt"; }
  // Note: this query yields name, global name, policy type, agent name and
  // storage unit, while the parser above reads the DPA 5.8 layout (policy
  // name, client name, media server, policy type): run as it stands, the
  // group's global name would be taken for its client and its agent name
  // for its policy type. A caller of this query or of the _PG variant would
  // have to select the client's name second and the policy type fourth, or
  // give the variant a parser of its own. DiscoverClients uses only
  // V58_ORACLE.
  std::string GetQuery() override;
};

class CDPAGroupCollector_PG : public CDPAGroupCollector {
 public:
  std::string _GetCommandLine() override;
  std::string GetQuery() override { return CDPAGroupCollector::GetQuery(); }
};

class CDPAGroupCollectorV58_ORACLE : public CDPAGroupCollector, public CDPAOracleCollector {
 public:
  std::string _GetCommandLine() override;
  std::string GetQuery() override;
};

#endif  // OLB_COLLECTORS_DPA_CLIENT_COLLECTOR_H_
