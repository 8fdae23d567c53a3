#include "collectors/DPAClientCollector.h"

#include <cctype>
#include <cstring>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "collectors/FileUtils.h"
#include "handler/CForeignHandlerDPA.h"
#include "host/EvDebug.h"
#include "model/DPAClient.h"

namespace {

const char kServerContext[] = "CDPAServerCollector::_ParseData";
const char kClientContext[] = "CDPAClientCollector::_ParseData";
const char kGroupContext[] = "CDPAGroupCollector::_ParseData";

// True when `text` holds, from `pos` on, exactly `count` decimal digits (at
// least one when `count` is 0); `pos` moves past them.
bool Digits(const std::string& text, size_t& pos, size_t count) {
  size_t start = pos;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
  size_t n = pos - start;
  return count == 0 ? n > 0 : n == count;
}

// True when `text` from `pos` on is exactly `tail`.
bool Matches(const std::string& text, size_t pos, const char* tail) {
  return text.compare(pos, std::string::npos, tail) == 0;
}

// A code of SQL*Plus's own messages: `prefix`, `digits` digits and a colon
// that ends the line or is followed by a blank ("ORA-00942: table or view
// does not exist", "SP2-0310: unable to open file").
bool IsMessageCode(const std::string& line, const char* prefix, size_t digits) {
  size_t pos = std::strlen(prefix);
  if (line.compare(0, pos, prefix) != 0 || !Digits(line, pos, digits)) return false;
  return Matches(line, pos, ":") || line.compare(pos, 2, ": ") == 0;
}

// Lines that SQL*Plus prints on its own rather than as a result row: the
// feedback after a query ("no rows selected", "3 rows selected.") and its
// error reports ("ERROR:", "ERROR at line 1:", "ORA-00942: ...",
// "SP2-0310: ..."). Only these exact shapes are skipped: a server may well be
// named "ORA-DPA01" or "SP2-x", and such a row is data.
bool IsToolMessage(const std::string& line) {
  if (line == "no rows selected" || line == "ERROR:") return true;
  if (IsMessageCode(line, "ORA-", 5) || IsMessageCode(line, "SP2-", 4)) return true;
  size_t pos = std::strlen("ERROR at line ");
  if (line.compare(0, pos, "ERROR at line ") == 0) {
    return Digits(line, pos, 0) && Matches(line, pos, ":");
  }
  pos = 0;
  return Digits(line, pos, 0) &&
         (Matches(line, pos, " row selected.") || Matches(line, pos, " rows selected."));
}

// A parser asked to fill no container reads nothing and fails.
bool NoContainer(const char* context) {
  EvDebug log(nullptr);
  log.Debug(context, "No client container given");
  return false;
}

void AddMasterServer(std::vector<DPAClient>& clients, const std::string& name) {
  DPAClient server;
  server.ClientName(name);
  server.MasterServer(true);
  CForeignHandlerDPA::SetServerName(name);
  clients.push_back(server);
}

}  // namespace

// ---- server ----

std::string CDPAServerCollector::GetQuery() {
  return "select f_display_name, f_global_name, f_name from apollo.node where dtype = "
         "'DPADataStore'";
}

bool CDPAServerCollector::_ParseData(void* out, const std::string& path) {
  if (out == nullptr) return NoContainer(kServerContext);
  auto& clients = *static_cast<std::vector<DPAClient>*>(out);
  std::ifstream in(path);
  std::string line;
  if (!ReadLineFromFile(in, line) || line.empty()) return true;
  std::vector<std::string> fields;
  SplitOutputLine(line, fields);
  if (fields.empty()) return true;
  const std::string& first = fields[0];
  AddMasterServer(clients, first.substr(0, first.find(':')));
  return true;
}

std::string CDPAServerCollector_PG::_GetCommandLine() {
  return BuildPsqlCommandLine(m_dbContext, GetQuery());
}

std::string CDPAServerCollectorV58_ORACLE::_GetCommandLine() {
  return BuildOracleCommandLine(m_dbContext, GetQuery());
}

std::string CDPAServerCollectorV58_ORACLE::GetQuery() {
  return "select DISTINCT f_name ||',' || f_globalname from CONFIG.nodes where F_TYPE = 212";
}

bool CDPAServerCollectorV58_ORACLE::_ParseData(void* out, const std::string& path) {
  if (out == nullptr) return NoContainer(kServerContext);
  auto& clients = *static_cast<std::vector<DPAClient>*>(out);
  EvDebug log(nullptr);
  std::ifstream in(path);
  std::string line;
  std::vector<std::string> fields;
  while (ReadLineFromFile(in, line)) {
    log.DebugLvl(kServerContext, 30, "Processing line [%s]", line.c_str());
    if (IsToolMessage(line)) continue;
    fields.clear();
    SplitOutputLine(line, fields);
    if (fields.empty()) continue;
    AddMasterServer(clients, fields[0]);
    log.DebugLvl(kServerContext, 1, "[%s] is marked as master server", fields[0].c_str());
    break;
  }
  return true;
}

// ---- clients ----

std::string CDPAClientCollector::GetQuery() {
  return "select f_name || ',' from apollo.node where dtype = 'NetBackupBackupClient'";
}

bool CDPAClientCollector::_ParseData(void* out, const std::string& path) {
  if (out == nullptr) return NoContainer(kClientContext);
  auto& clients = *static_cast<std::vector<DPAClient>*>(out);
  EvDebug log(nullptr);
  std::ifstream in(path);
  std::string line;
  while (ReadLineFromFile(in, line)) {
    log.DebugLvl(kClientContext, 30, "Read line [%s]", line.c_str());
    if (line.empty() || line.back() != ',') continue;
    DPAClient client;
    client.ClientName(line.substr(0, line.size() - 1));
    clients.push_back(client);
    log.DebugLvl(kClientContext, 5, "Found client [%s]", clients.back().ClientName().c_str());
  }
  log.DebugLvl(kClientContext, 1, "Found [%d] clients", static_cast<int>(clients.size()));
  return true;
}

std::string CDPAClientCollector_PG::_GetCommandLine() {
  return BuildPsqlCommandLine(m_dbContext, GetQuery());
}

std::string CDPAClientCollectorV58_ORACLE::_GetCommandLine() {
  return BuildOracleCommandLine(m_dbContext, GetQuery());
}

std::string CDPAClientCollectorV58_ORACLE::GetQuery() {
  return "select DISTINCT f_name || ',' from config.nodes where f_type = 515";
}

// ---- groups ----

std::string CDPAGroupCollector::GetQuery() {
  return "select f_name, f_global_name, f_policy_type, f_agent_name, f_storage_unit from "
         "apollo.node n, dpa.group_config c where dtype = 'NetBackupBackupGroup' and n.f_id = "
         "c.f_node_id";
}

bool CDPAGroupCollector::_ParseData(void* out, const std::string& path) {
  if (out == nullptr) return NoContainer(kGroupContext);
  auto& clients = *static_cast<std::vector<DPAClient>*>(out);
  EvDebug log(nullptr);
  // The first entry of each name, found without walking the whole list for
  // every line. The list keeps its entries while groups are attached.
  std::unordered_map<std::string, size_t> firstByName;
  firstByName.reserve(clients.size());
  for (size_t i = 0; i < clients.size(); ++i) firstByName.emplace(clients[i].ClientName(), i);

  std::ifstream in(path);
  std::string line;
  std::vector<std::string> fields;
  while (ReadLineFromFile(in, line)) {
    log.DebugLvl(kGroupContext, 30, "Processing line [%s]", line.c_str());
    if (line.empty()) continue;
    fields.clear();
    SplitOutputLine(line, fields);
    if (fields.size() < 4) continue;
    const std::string& policyName = fields[0];
    const std::string& policyType = fields[3];
    const std::string& clientName = fields[1];

    DPAGroup group;
    group.PolicyName(policyName);
    group.PolicyType(policyType);
    log.DebugLvl(kGroupContext, 5, "Discovered policy [%s], type [%s]", policyName.c_str(),
                 policyType.c_str());

    auto owner = firstByName.find(clientName);
    if (owner != firstByName.end()) {
      clients[owner->second].addPolicy(group);
      log.DebugLvl(kGroupContext, 5, "Policy [%s] associated to client [%s]", policyName.c_str(),
                   clientName.c_str());
    } else {
      log.DebugLvl(kGroupContext, 5, "Policy [%s] not associated to any client",
                   policyName.c_str());
    }
  }
  return true;
}

std::string CDPAGroupCollector_PG::_GetCommandLine() {
  return BuildPsqlCommandLine(m_dbContext, GetQuery());
}

std::string CDPAGroupCollectorV58_ORACLE::_GetCommandLine() {
  return BuildOracleCommandLine(m_dbContext, GetQuery());
}

std::string CDPAGroupCollectorV58_ORACLE::GetQuery() {
  return "select distinct bj.f_group_name ||','|| bj.f_client_name ||','|| bj.f_media_server "
         "||','|| gc.f_policy_type from datamine.backupjob bj, datamine.group_config gc  where "
         "gc.f_group_name = bj.f_group_name";
}
