// The server, client and group collectors: their parsers on crafted output
// files and the command lines of every variant.
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "collectors/DPAClientCollector.h"
#include "collectors/DPAJobCollector.h"
#include "handler/CForeignHandlerDPA.h"
#include "testsupport/TestSupport.h"

namespace {

using olbtest::LogCapture;
typedef std::vector<std::string> Names;

DPAClient Client(const std::string& name, bool master = false) {
  DPAClient c;
  c.ClientName(name);
  c.MasterServer(master);
  return c;
}

Names NamesOf(const std::vector<DPAClient>& clients) {
  Names names;
  for (const auto& c : clients) names.push_back(c.ClientName() + (c.MasterServer() ? "*" : ""));
  return names;
}

Names PoliciesOf(const DPAClient& client) {
  Names names;
  for (const auto& g : client.Policylist()) names.push_back(g.PolicyName());
  return names;
}

class ClientCollectorTest : public olbtest::HostFixture {
 protected:
  // Writes `text` as a tool output file and returns its path.
  std::string Output(const std::string& text) {
    std::string path = m_dir.file("output-" + std::to_string(m_files++) + ".txt");
    EXPECT_TRUE(olbtest::WriteFile(path, text));
    return path;
  }
  int m_files = 0;
};

const char* Name(const CDPACollector& c) { return typeid(c).name(); }

template <class... T>
std::vector<std::unique_ptr<CDPACollector>> Family() {
  std::vector<std::unique_ptr<CDPACollector>> f;
  (f.emplace_back(new T()), ...);
  return f;
}

TEST_F(ClientCollectorTest, ClientLinesNeedTheirTrailingComma) {
  const std::string path = Output(
      "alpha,\nbeta\n\n   gamma,   \n,,\na,b,\nAlpha,\nalpha,\nno rows selected\n"
      "7 rows selected.\n");
  for (auto& collector :
       Family<CDPAClientCollector, CDPAClientCollector_PG, CDPAClientCollectorV58_ORACLE>()) {
    SCOPED_TRACE(Name(*collector));
    std::vector<DPAClient> clients{Client("dpasrv", true)};
    LogCapture log;
    EXPECT_TRUE(collector->_ParseData(&clients, path));
    // One trailing comma removed, names kept as read (case, inner commas),
    // duplicates kept; no policies.
    EXPECT_EQ(NamesOf(clients), (Names{"dpasrv*", "alpha", "gamma", ",", "a,b", "Alpha", "alpha"}));
    for (const auto& c : clients) EXPECT_TRUE(c.Policylist().empty());
    EXPECT_EQ(log.Count("Found client [alpha]"), 2u);
    EXPECT_FALSE(log.Contains("Found client [beta]"));
    // The count includes the server entry that was there before.
    EXPECT_EQ(log.Count("Found [7] clients"), 1u);
    for (const auto& r : log.records()) EXPECT_EQ(r.context, "CDPAClientCollector::_ParseData");

    // A missing or empty output adds nothing.
    clients = {Client("dpasrv", true)};
    EXPECT_TRUE(collector->_ParseData(&clients, m_dir.file("absent.txt")));
    EXPECT_TRUE(collector->_ParseData(&clients, Output("")));
    EXPECT_EQ(clients.size(), 1u);
  }
}

TEST_F(ClientCollectorTest, GroupsGoToTheFirstClientOfThatExactName) {
  const std::string path = Output(
      "g1,alpha,media1,Standard\ng1,Alpha,media1,Standard\ng2,beta,media1\n\nno rows selected\n"
      ",,\ng3,beta,media1,Std,extra\ng1,alpha,media2,Standard\ng4,dpasrv,media1,Standard\n"
      "g5,beta,media1,\nCORP\\g7,beta,media1,T\ng6,nobody,media1,Standard\n");
  for (auto& collector :
       Family<CDPAGroupCollector, CDPAGroupCollector_PG, CDPAGroupCollectorV58_ORACLE>()) {
    SCOPED_TRACE(Name(*collector));
    std::vector<DPAClient> clients{Client("dpasrv", true), Client("alpha"), Client("beta"),
                                   Client("alpha"), Client("dpasrv")};
    LogCapture log;
    EXPECT_TRUE(collector->_ParseData(&clients, path));
    // The same group and client twice (another media server) attaches twice;
    // of two entries of one name the earlier gets it (here the server).
    const Names expected[] = {{"g4"}, {"g1", "g1"}, {"g3", "g5", "CORP\\g7"}, {}, {}};
    for (size_t i = 0; i < clients.size(); ++i) EXPECT_EQ(PoliciesOf(clients[i]), expected[i]) << i;
    EXPECT_EQ(log.Count("Discovered policy [g1], type [Standard]"), 3u);
    EXPECT_EQ(log.Count("Policy [g1] not associated to any client"), 1u);
    EXPECT_EQ(log.Count("Policy [g6] not associated to any client"), 1u);
    for (const auto& r : log.records()) EXPECT_EQ(r.context, "CDPAGroupCollector::_ParseData");

    // Nothing to attach to, or nothing read: no client and no failure; no
    // container at all fails.
    std::vector<DPAClient> none;
    EXPECT_TRUE(collector->_ParseData(&none, path));
    EXPECT_TRUE(collector->_ParseData(&none, m_dir.file("absent.txt")));
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(collector->_ParseData(nullptr, path));
  }
}

TEST_F(ClientCollectorTest, OracleServerTakesTheFirstDataRowWhole) {
  // The tool's feedback and error lines are no server row: without one the
  // list gets no master server.
  const std::pair<std::string, Names> cases[] = {
      {"\n   \n\nDpaSrv:1521,dpasrv.example.com\nsecond,other.example.com\n",
       {"earlier", "DpaSrv:1521*"}},
      {"no rows selected\nreal,real.example\n", {"earlier", "real*"}},
      {"no rows selected\n", {"earlier"}},
      {"12 rows selected.\n1 row selected.\n", {"earlier"}},
      {"\nERROR at line 1:\nORA-00942: table or view does not exist\n\n", {"earlier"}},
      {"ERROR:\nSP2-0310: unable to open file \"x.sql\"\n", {"earlier"}},
      {"", {"earlier"}},
      // Servers whose names only look like the tool's messages are data.
      {"ORA-DPA01,ora.example\n", {"earlier", "ORA-DPA01*"}},
      {"SP2-x,\n", {"earlier", "SP2-x*"}},
      {"ERROR at line one,e\n", {"earlier", "ERROR at line one*"}},
      {"ORA-0094: x,y\n", {"earlier", "ORA-0094: x*"}},
      {"3 rows selected,z\n", {"earlier", "3 rows selected*"}},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    CForeignHandlerDPA::SetServerName("");
    std::vector<DPAClient> clients{Client("earlier")};
    LogCapture log;
    CDPAServerCollectorV58_ORACLE collector;
    EXPECT_TRUE(collector._ParseData(&clients, Output(text)));
    EXPECT_EQ(NamesOf(clients), expected);
    const std::string server = expected.size() > 1 ? clients.back().ClientName() : "";
    EXPECT_EQ(CForeignHandlerDPA::GetServerName(), server);
    EXPECT_EQ(log.Count("[" + server + "] is marked as master server"), server.empty() ? 0u : 1u);
    EXPECT_FALSE(log.Contains("second"));
  }
}

TEST_F(ClientCollectorTest, GenericServerReadsOnlyTheFirstLine) {
  for (auto& owner : Family<CDPAServerCollector, CDPAServerCollector_PG>()) {
    SCOPED_TRACE(Name(*owner));
    CForeignHandlerDPA::SetServerName("");
    LogCapture log;
    std::vector<DPAClient> clients;
    // The name is the first field up to the first ':'.
    EXPECT_TRUE(owner->_ParseData(&clients, Output("host1:1521,x,y\nhost2,x,y\n")));
    EXPECT_EQ(CForeignHandlerDPA::GetServerName(), "host1");
    EXPECT_TRUE(owner->_ParseData(&clients, Output("Plain,x,y\n")));
    // An empty first line ends the parse; so does a missing file.
    EXPECT_TRUE(owner->_ParseData(&clients, Output("\nlater,x,y\n")));
    EXPECT_TRUE(owner->_ParseData(&clients, m_dir.file("absent.txt")));
    EXPECT_EQ(NamesOf(clients), (Names{"host1*", "Plain*"}));
    EXPECT_TRUE(log.records().empty()) << log.All();
  }
}

// The script path of a sqlplus command line: between '@"' and the last '"'.
std::string ScriptOf(const std::string& line) {
  const size_t at = line.find("@\"");
  return at == std::string::npos ? "" : line.substr(at + 2, line.size() - at - 3);
}

// Every family: its output file and queries; the base collector's command
// line is its query, the _PG variant runs that query through psql, the
// V58_ORACLE variant its own through sqlplus with a script file.
TEST_F(ClientCollectorTest, QueriesAndCommandLinesOfEveryVariant) {
  DBContext set;
  set.setUserName("scott");
  set.setPassword("tiger");
  set.setInstallDir("/opt/dpa/bin");
  set.setExecName("psql");
  set.setPort(9003);
  const struct {
    std::vector<std::unique_ptr<CDPACollector>> family;
    const char *file, *query, *oracleQuery, *psql, *sqlplus;
  } cases[] = {
      {Family<CDPAServerCollector, CDPAServerCollector_PG, CDPAServerCollectorV58_ORACLE>(),
       "olb_dpa_server.txt",
       "select f_display_name, f_global_name, f_name from apollo.node where dtype = "
       "'DPADataStore'",
       "select DISTINCT f_name ||',' || f_globalname from CONFIG.nodes where F_TYPE = 212",
       "\"/opt/dpa/bin\\psql\" -U scott -p 9003", "sqlplus -S "},
      {Family<CDPAClientCollector, CDPAClientCollector_PG, CDPAClientCollectorV58_ORACLE>(),
       "olb_dpa_node.txt",
       "select f_name || ',' from apollo.node where dtype = 'NetBackupBackupClient'",
       "select DISTINCT f_name || ',' from config.nodes where f_type = 515",
       "\"/opt/dpa/bin\\psql\" -U scott -p 9003", "sqlplus -S "},
      {Family<CDPAGroupCollector, CDPAGroupCollector_PG, CDPAGroupCollectorV58_ORACLE>(),
       "olb_dpa_group.txt",
       "select f_name, f_global_name, f_policy_type, f_agent_name, f_storage_unit from "
       "apollo.node n, dpa.group_config c where dtype = 'NetBackupBackupGroup' and n.f_id = "
       "c.f_node_id",
       "select distinct bj.f_group_name ||','|| bj.f_client_name ||','|| bj.f_media_server "
       "||','|| gc.f_policy_type from datamine.backupjob bj, datamine.group_config gc  where "
       "gc.f_group_name = bj.f_group_name",
       "\"/opt/dpa/bin\\psql\" -U scott -p 9003", "sqlplus -S "},
      {Family<CDPAJobCollector, CDPAJobCollector_PG, CDPAJobCollectorV58_ORACLE>(),
       "olb_dpa_jobs.txt",
       "select f_name, f_display_name, f_global_name, f_agent_name, f_nfiles, f_jobid2, f_size, "
       "f_storage_unit, f_status, b.f_endtime, b.f_starttime, b.f_endtime - b.f_starttime as "
       "duration, b.f_level, f_job_name  from apollo.node n, backupjob b where n.f_id = "
       "b.f_group_id \torder by bj.f_jobid",
       "select distinct f_group_name ||','|| bj.f_client_name ||','|| bj.f_nfiles ||','|| "
       "bj.f_jobid ||','|| bj.f_sizetransferred ||','|| bj.f_storage_unit ||','|| bj.f_status "
       "||','|| bj.f_starttime ||','|| (bj.f_endtime - bj.f_starttime) ||','|| bj.f_level from "
       "datamine.backupjob bj, config.nodes node where bj.f_group_name = node.f_name and "
       "node.f_type = 516 and bj.f_jobid is not null ",
       "\"/opt/dpa/bin\\psql.exe\" -U dpa -d apollo -p 9003", "sqlplus -S -S "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    CDPACollector &base = *c.family[0], &pg = *c.family[1], &ora = *c.family[2];
    for (auto& collector : c.family) EXPECT_STREQ(collector->_GetFileNameForData(), c.file);
    EXPECT_EQ(base.GetQuery(), c.query);
    EXPECT_EQ(pg.GetQuery(), c.query);
    EXPECT_EQ(ora.GetQuery(), c.oracleQuery);
    EXPECT_EQ(base._GetCommandLine(), c.query);
    pg.setDBContext(set);
    ora.setDBContext(set);
    EXPECT_EQ(pg._GetCommandLine(), c.psql + std::string(" -t -A -F , -c \"") + c.query + "\"");
    const std::string line = ora._GetCommandLine();
    EXPECT_EQ(line, c.sqlplus + std::string("scott/tiger as SYSDBA @\"") + ScriptOf(line) + "\"");
    EXPECT_EQ(olbtest::ReadFile(ScriptOf(line)),
              "set colsep , \nset trimspool on \nset heading off \nset echo off \nset linesize "
              "32767 \nSET FEEDBACK OFF\nWHENEVER SQLERROR EXIT FAILURE\nWHENEVER OSERROR EXIT "
              "FAILURE\n" +
                  std::string(c.oracleQuery) + ";\nexit\n");
  }
}

}  // namespace
