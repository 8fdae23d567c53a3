#include <memory>
#include <string>
#include <vector>

#include "collectors/DPAClientCollector.h"
#include "handler/CForeignHandlerDPA.h"
#include "testsupport/TestSupport.h"

namespace {

using olbtest::LogCapture;

class ClientCollectorTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    CForeignHandlerDPA::SetServerName("");
  }
  void TearDown() override {
    CForeignHandlerDPA::SetServerName("");
    HostFixture::TearDown();
  }

  // Writes `text` as a tool output file and returns its path.
  std::string Output(const std::string& text) {
    std::string path = m_dir.file("output-" + std::to_string(m_files++) + ".txt");
    EXPECT_TRUE(olbtest::WriteFile(path, text));
    return path;
  }

  static std::vector<std::string> Names(const std::vector<DPAClient>& clients) {
    std::vector<std::string> names;
    for (const auto& c : clients) names.push_back(c.ClientName());
    return names;
  }
  static std::vector<std::string> Policies(const DPAClient& client) {
    std::vector<std::string> names;
    for (const auto& g : client.Policylist()) names.push_back(g.PolicyName());
    return names;
  }
  static DPAClient Server(const std::string& name) {
    DPAClient c;
    c.ClientName(name);
    c.MasterServer(true);
    return c;
  }
  static DPAClient Client(const std::string& name) {
    DPAClient c;
    c.ClientName(name);
    return c;
  }

  int m_files = 0;
};

typedef std::vector<std::unique_ptr<CDPACollector>> Family;

Family ClientFamily() {
  Family f;
  f.emplace_back(new CDPAClientCollector());
  f.emplace_back(new CDPAClientCollector_PG());
  f.emplace_back(new CDPAClientCollectorV58_ORACLE());
  return f;
}

Family GroupFamily() {
  Family f;
  f.emplace_back(new CDPAGroupCollector());
  f.emplace_back(new CDPAGroupCollector_PG());
  f.emplace_back(new CDPAGroupCollectorV58_ORACLE());
  return f;
}

// ---- clients ----

TEST_F(ClientCollectorTest, ClientLinesNeedTheirTrailingComma) {
  const std::string path = Output(
      "alpha,\n"
      "beta\n"
      "\n"
      "   gamma,   \n"
      ",,\n"
      "a,b,\n"
      "Alpha,\n"
      "alpha,\n"
      "no rows selected\n"
      "7 rows selected.\n");
  for (auto& collector : ClientFamily()) {
    SCOPED_TRACE(collector->_GetFileNameForData());
    std::vector<DPAClient> clients{Server("dpasrv")};
    LogCapture log;
    EXPECT_TRUE(collector->_ParseData(&clients, path));
    // One trailing comma removed, names kept as read (case, inner commas),
    // duplicates kept.
    EXPECT_EQ(Names(clients),
              (std::vector<std::string>{"dpasrv", "alpha", "gamma", ",", "a,b", "Alpha", "alpha"}));
    for (size_t i = 1; i < clients.size(); ++i) {
      EXPECT_FALSE(clients[i].MasterServer());
      EXPECT_TRUE(clients[i].Policylist().empty());
    }
    EXPECT_EQ(log.Count("Read line [beta]"), 1u);
    EXPECT_EQ(log.Count("Read line []"), 1u);
    EXPECT_EQ(log.Count("Read line [gamma,]"), 1u);
    EXPECT_EQ(log.Count("Found client [,]"), 1u);
    EXPECT_EQ(log.Count("Found client [alpha]"), 2u);
    EXPECT_FALSE(log.Contains("Found client [beta]"));
    // The count includes the server entry that was there before.
    EXPECT_EQ(log.Count("Found [7] clients"), 1u);
    for (const auto& r : log.records()) {
      EXPECT_EQ(r.context, "CDPAClientCollector::_ParseData");
    }
  }
}

TEST_F(ClientCollectorTest, MissingOrEmptyClientOutputAddsNothing) {
  for (const std::string& path : {m_dir.file("absent.txt"), Output("")}) {
    std::vector<DPAClient> clients{Server("dpasrv")};
    LogCapture log;
    CDPAClientCollectorV58_ORACLE collector;
    EXPECT_TRUE(collector._ParseData(&clients, path));
    EXPECT_EQ(clients.size(), 1u);
    EXPECT_EQ(log.Count("Found [1] clients"), 1u);
  }
}

// ---- groups ----

TEST_F(ClientCollectorTest, GroupsGoToTheFirstClientOfThatExactName) {
  const std::string path = Output(
      "g1,alpha,media1,Standard\n"
      "g1,Alpha,media1,Standard\n"
      "g2,beta,media1\n"
      "\n"
      "no rows selected\n"
      ",,\n"
      "g3,beta,media1,Std,extra\n"
      "g1,alpha,media2,Standard\n"
      "g4,dpasrv,media1,Standard\n"
      "g5,beta,media1,\n"
      "CORP\\g7,beta,media1,T\n"
      "g6,nobody,media1,Standard\n");
  for (auto& collector : GroupFamily()) {
    SCOPED_TRACE(collector->_GetFileNameForData());
    std::vector<DPAClient> clients{Server("dpasrv"), Client("alpha"), Client("beta"),
                                   Client("alpha"), Client("dpasrv")};
    LogCapture log;
    EXPECT_TRUE(collector->_ParseData(&clients, path));
    // Same group and client twice (differing media server) attaches twice.
    EXPECT_EQ(Policies(clients[1]), (std::vector<std::string>{"g1", "g1"}));
    EXPECT_EQ(Policies(clients[2]), (std::vector<std::string>{"g3", "g5", "CORP\\g7"}));
    EXPECT_TRUE(clients[3].Policylist().empty());
    // The earlier of two entries of one name gets it: here the server entry.
    EXPECT_EQ(Policies(clients[0]), (std::vector<std::string>{"g4"}));
    EXPECT_TRUE(clients[4].Policylist().empty());

    EXPECT_EQ(log.Count("Discovered policy [g1], type [Standard]"), 3u);
    EXPECT_EQ(log.Count("Discovered policy [g5], type []"), 1u);
    EXPECT_FALSE(log.Contains("Discovered policy [g2]"));
    EXPECT_EQ(log.Count("Policy [g1] associated to client [alpha]"), 2u);
    EXPECT_EQ(log.Count("Policy [g1] not associated to any client"), 1u);
    EXPECT_EQ(log.Count("Policy [g6] not associated to any client"), 1u);
    EXPECT_EQ(log.Count("Processing line [g2,beta,media1]"), 1u);
    EXPECT_EQ(log.Count("Processing line []"), 1u);
    EXPECT_EQ(log.Count("Processing line [no rows selected]"), 1u);
    for (const auto& r : log.records()) {
      EXPECT_EQ(r.context, "CDPAGroupCollector::_ParseData");
    }
  }
}

TEST_F(ClientCollectorTest, GroupsOfAMissingFileOrEmptyListAreDropped) {
  std::vector<DPAClient> clients;
  CDPAGroupCollectorV58_ORACLE collector;
  EXPECT_TRUE(collector._ParseData(&clients, m_dir.file("absent.txt")));
  EXPECT_TRUE(collector._ParseData(&clients, Output("g1,alpha,m,Standard\n")));
  EXPECT_TRUE(clients.empty());
}

// ---- servers ----

TEST_F(ClientCollectorTest, OracleServerTakesTheFirstDataLineWhole) {
  std::vector<DPAClient> clients{Client("earlier")};
  LogCapture log;
  CDPAServerCollectorV58_ORACLE collector;
  EXPECT_TRUE(collector._ParseData(
      &clients, Output("\n   \n\nDpaSrv:1521,dpasrv.example.com\nsecond,other.example.com\n")));
  ASSERT_EQ(clients.size(), 2u);
  EXPECT_EQ(clients[1].ClientName(), "DpaSrv:1521");
  EXPECT_TRUE(clients[1].MasterServer());
  EXPECT_TRUE(clients[1].Policylist().empty());
  EXPECT_EQ(CForeignHandlerDPA::GetServerName(), "DpaSrv:1521");
  EXPECT_EQ(log.Count("[DpaSrv:1521] is marked as master server"), 1u);
  EXPECT_EQ(log.Count("Processing line []"), 3u);
  EXPECT_FALSE(log.Contains("second"));
}

TEST_F(ClientCollectorTest, OracleServerPassesOverTheToolsMessages) {
  // The tool's feedback and error lines are no server row: an empty result
  // leaves the list without a master server.
  for (const std::string& text :
       {std::string("no rows selected\n"),
        std::string("\nERROR at line 1:\nORA-00942: table or view does not exist\n\n"),
        std::string("SP2-0310: unable to open file \"x.sql\"\n"), std::string(""),
        std::string("\n\n")}) {
    std::vector<DPAClient> clients;
    CDPAServerCollectorV58_ORACLE collector;
    EXPECT_TRUE(collector._ParseData(&clients, Output(text)));
    EXPECT_TRUE(clients.empty()) << text;
    EXPECT_EQ(CForeignHandlerDPA::GetServerName(), "");
  }
  std::vector<DPAClient> clients;
  CDPAServerCollectorV58_ORACLE collector;
  EXPECT_TRUE(collector._ParseData(&clients, Output("no rows selected\nreal,real.example\n")));
  EXPECT_EQ(Names(clients), std::vector<std::string>{"real"});
  EXPECT_TRUE(collector._ParseData(&clients, m_dir.file("absent.txt")));
  EXPECT_EQ(clients.size(), 1u);
}

TEST_F(ClientCollectorTest, GenericServerReadsOnlyTheFirstLine) {
  std::vector<std::unique_ptr<CDPAServerCollector>> family;
  family.emplace_back(new CDPAServerCollector());
  family.emplace_back(new CDPAServerCollector_PG());
  for (auto& owner : family) {
    CForeignHandlerDPA::SetServerName("");
    LogCapture log;
    std::vector<DPAClient> clients;
    EXPECT_TRUE(owner->_ParseData(&clients, Output("host1:1521,x,y\nhost2,x,y\n")));
    ASSERT_EQ(clients.size(), 1u);
    EXPECT_EQ(clients[0].ClientName(), "host1");
    EXPECT_TRUE(clients[0].MasterServer());
    EXPECT_EQ(CForeignHandlerDPA::GetServerName(), "host1");

    EXPECT_TRUE(owner->_ParseData(&clients, Output("Plain,x,y\n")));
    EXPECT_EQ(Names(clients), (std::vector<std::string>{"host1", "Plain"}));

    // An empty first line ends the parse; so does a missing file.
    EXPECT_TRUE(owner->_ParseData(&clients, Output("\nlater,x,y\n")));
    EXPECT_TRUE(owner->_ParseData(&clients, m_dir.file("absent.txt")));
    EXPECT_EQ(clients.size(), 2u);
    EXPECT_TRUE(log.records().empty()) << log.All();
  }
}

// ---- queries and command lines ----

TEST_F(ClientCollectorTest, VariantsShareTheirFamilysFileAndQuery) {
  CDPAServerCollector server;
  CDPAServerCollector_PG serverPg;
  CDPAServerCollectorV58_ORACLE serverOra;
  CDPAClientCollector client;
  CDPAClientCollector_PG clientPg;
  CDPAClientCollectorV58_ORACLE clientOra;
  CDPAGroupCollector group;
  CDPAGroupCollector_PG groupPg;
  CDPAGroupCollectorV58_ORACLE groupOra;
  EXPECT_STREQ(serverPg._GetFileNameForData(), "olb_dpa_server.txt");
  EXPECT_STREQ(serverOra._GetFileNameForData(), "olb_dpa_server.txt");
  EXPECT_STREQ(clientPg._GetFileNameForData(), "olb_dpa_node.txt");
  EXPECT_STREQ(clientOra._GetFileNameForData(), "olb_dpa_node.txt");
  EXPECT_STREQ(groupPg._GetFileNameForData(), "olb_dpa_group.txt");
  EXPECT_STREQ(groupOra._GetFileNameForData(), "olb_dpa_group.txt");
  EXPECT_EQ(serverPg.GetQuery(), server.GetQuery());
  EXPECT_EQ(clientPg.GetQuery(), client.GetQuery());
  EXPECT_EQ(groupPg.GetQuery(), group.GetQuery());
  // The datastore ignores it, but the text is kept as DPA 5.8 sends it.
  EXPECT_NE(groupOra.GetQuery().find("datamine.group_config gc  where gc."), std::string::npos);
  // The base collectors run the query text itself.
  EXPECT_EQ(server._GetCommandLine(), server.GetQuery());
  EXPECT_EQ(client._GetCommandLine(), client.GetQuery());
  EXPECT_EQ(group._GetCommandLine(), group.GetQuery());
}

TEST_F(ClientCollectorTest, CommandLinesCarryTheQueryAndSettings) {
  DBContext context;
  context.setUserName("scott");
  context.setPassword("tiger");
  context.setInstallDir("/opt/dpa/bin");
  context.setExecName("psql");
  context.setPort(9003);

  std::vector<std::string> scripts;
  {
    CDPAServerCollectorV58_ORACLE server;
    CDPAClientCollectorV58_ORACLE client;
    CDPAGroupCollectorV58_ORACLE group;
    std::vector<std::pair<CDPACollector*, CDPAOracleCollector*>> all{
        {&server, &server}, {&client, &client}, {&group, &group}};
    for (auto& [collector, oracle] : all) {
      collector->setDBContext(context);
      std::string cmd = collector->_GetCommandLine();
      EXPECT_EQ(cmd, "sqlplus -S scott/tiger as SYSDBA @\"" + oracle->scriptFile() + "\"");
      std::string script = olbtest::ReadFile(oracle->scriptFile());
      EXPECT_NE(script.find("\n" + collector->GetQuery() + ";\nexit\n"), std::string::npos)
          << script;
      scripts.push_back(oracle->scriptFile());
    }
    // Later changes to the settings do not reach a collector set up before.
    context.setUserName("other");
    EXPECT_EQ(server._GetCommandLine().rfind("sqlplus -S scott/tiger", 0), 0u);
  }
  for (const auto& s : scripts) EXPECT_FALSE(olbtest::FileExists(s)) << s;

  CDPAServerCollector_PG serverPg;
  CDPAClientCollector_PG clientPg;
  CDPAGroupCollector_PG groupPg;
  for (CDPACollector* pg : std::vector<CDPACollector*>{&serverPg, &clientPg, &groupPg}) {
    pg->setDBContext(context);
    std::string cmd = pg->_GetCommandLine();
    EXPECT_EQ(cmd, "\"/opt/dpa/bin\\psql\" -U other -p 9003 -t -A -F , -c \"" +
                       pg->GetQuery() + "\"");
  }
}

}  // namespace
