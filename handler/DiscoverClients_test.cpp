// DiscoverClients end to end: the sqlplus stand-in runs the three queries on
// a datastore made for each test, and the client list is read back from the
// dumped file the way the host reads it.
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "host/MessageXml.h"
#include "testsupport/TestSupport.h"

namespace {

typedef CWzMessageBase Msg;

const char kContext[] = "CForeignHandlerDPA::DiscoverClients";

// A server, three clients and two policies; alpha has P1 through two media
// servers (so twice) and P2, beta has P2, gamma none, and P1 also names a
// client that is not in the datastore.
const char kServerSql[] =
    "INSERT INTO nodes (f_name, f_globalname, f_type) VALUES ('dpasrv', 'dpasrv.example.com', "
    "212);\n";
const char kClientsSql[] = R"(
INSERT INTO nodes (f_name, f_globalname, f_type) VALUES ('alpha', 'alpha.example.com', 515);
INSERT INTO nodes (f_name, f_globalname, f_type) VALUES ('beta', 'beta.example.com', 515);
INSERT INTO nodes (f_name, f_globalname, f_type) VALUES ('gamma', 'gamma.example.com', 515);
INSERT INTO group_config (f_group_name, f_policy_type) VALUES ('P1', 'Standard');
INSERT INTO group_config (f_group_name, f_policy_type) VALUES ('P2', 'MS-Windows');
INSERT INTO backupjob (f_group_name, f_client_name, f_media_server) VALUES ('P1', 'alpha', 'm1');
INSERT INTO backupjob (f_group_name, f_client_name, f_media_server) VALUES ('P1', 'alpha', 'm2');
INSERT INTO backupjob (f_group_name, f_client_name, f_media_server) VALUES ('P1', 'alpha', 'm2');
INSERT INTO backupjob (f_group_name, f_client_name, f_media_server) VALUES ('P2', 'alpha', 'm1');
INSERT INTO backupjob (f_group_name, f_client_name, f_media_server) VALUES ('P2', 'beta', 'm1');
INSERT INTO backupjob (f_group_name, f_client_name, f_media_server) VALUES ('P1', 'ghost', 'm1');
)";

// One client as the dumped list shows it.
struct ListedClient {
  std::string name;
  bool master;
  std::vector<std::string> subclients;
};

std::vector<std::string> FilesUnder(const std::string& dir) {
  std::vector<std::string> files;
  for (const auto& name : olbtest::ListDir(dir)) {
    std::string path = dir + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      for (auto& f : FilesUnder(path)) files.push_back(name + "/" + f);
    } else {
      files.push_back(name);
    }
  }
  return files;
}

const Msg* Object(const Msg& m, short n) {
  const Msg::Field* f = m.findField(n);
  return f != nullptr && f->object ? f->object.get() : nullptr;
}

std::vector<const Msg*> Items(const Msg& m, short n) {
  std::vector<const Msg*> out;
  const Msg::Field* f = m.findField(n);
  if (f != nullptr && f->list) {
    for (size_t i = 0; i < f->list->Size(); ++i) out.push_back(&f->list->At(i));
  }
  return out;
}

// Reads the clients of a dumped App::ClientsList: name, whether it carries
// master-server settings, and the subclient names of its one backup set.
std::vector<ListedClient> ListedClients(const Msg& list) {
  std::vector<ListedClient> out;
  for (const Msg* info : Items(list, 1)) {
    ListedClient c;
    const Msg* detail = Object(*info, 1);
    const Msg* entity = detail ? Object(*detail, 1) : nullptr;
    c.name = entity ? entity->getstring(1, 1, kWzMsgId1, kWzMsgId2) : "<none>";
    c.master = info->findField(2) != nullptr;
    for (const Msg* kru : detail ? Items(*detail, 20) : std::vector<const Msg*>{}) {
      for (const Msg* instance : Items(*kru, 6)) {
        for (const Msg* set : Items(*instance, 8)) {
          for (const Msg* sub : Items(*set, 6)) {
            const Msg* se = Object(*sub, 1);
            c.subclients.push_back(se ? se->getstring(1, 1, kWzMsgId1, kWzMsgId2) : "<none>");
          }
        }
      }
    }
    out.push_back(c);
  }
  return out;
}

const std::string kCraftedSql = std::string(kServerSql) + kClientsSql;

class DiscoverClientsTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    CForeignHandlerDPA::SetServerName("");
    SetCredentials("dpa-demo-58");
  }
  void TearDown() override {
    CForeignHandlerDPA::SetServerName("");
    HostFixture::TearDown();
  }

  void SetCredentials(const std::string& password) {
    SetRegistry("[kRelayUnit]\nsDPAUSER=dpa\nsDPAPASSWORD=" + password + "\n");
    Msg config(30, 1);
    ASSERT_TRUE(m_handler.DiscoverConfig(&config));
  }

  std::string SqlFile(const std::string& name, const std::string& text) {
    std::string path = m_dir.file(name);
    EXPECT_TRUE(olbtest::WriteFile(path, text));
    return path;
  }

  // The files left in the work directory that are not the tool's captured
  // output: script files the collectors failed to remove.
  std::vector<std::string> LeftoverScripts() const {
    std::vector<std::string> left;
    for (const auto& f : FilesUnder(WorkDir())) {
      if (f.rfind("olb_dpa_", 0) != 0) left.push_back(f);
    }
    return left;
  }

  // The one dumped client list, validated against the schema and read back.
  std::vector<ListedClient> ReadDump(size_t index = 0) {
    EXPECT_GT(m_handler.dumpedFiles().size(), index);
    if (m_handler.dumpedFiles().size() <= index) return {};
    const std::string path = m_handler.dumpedFiles()[index];
    std::string error;
    EXPECT_TRUE(
        ValidateMessageXmlFile(path, olbtest::SourceDir() + "/host/message.xsd", &error))
        << error;
    Msg root(0, 0);
    EXPECT_TRUE(ReadMessageXmlFile(path, root, &error)) << error;
    EXPECT_EQ(root.module(), 30);
    EXPECT_EQ(root.messageType(), 164);
    return ListedClients(root);
  }

  std::vector<std::string> ModelNames() const {
    std::vector<std::string> names;
    for (const auto& c : m_handler.m_clients) names.push_back(c.ClientName());
    return names;
  }

  // Lines of a captured output file that end with ',' (the client rows), in
  // the order the tool printed them, without that comma.
  std::vector<std::string> ClientRows() const {
    std::vector<std::string> rows;
    std::string text = olbtest::ReadFile(WorkDir() + "/olb_dpa_node.txt");
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      while (!line.empty() && line.back() == ' ') line.pop_back();
      if (!line.empty() && line.back() == ',') rows.push_back(line.substr(0, line.size() - 1));
      start = end + 1;
    }
    return rows;
  }

  // Runs DiscoverClients expecting it to fail with `logLine`, leaving no
  // file behind and `secret` nowhere in the log.
  void ExpectFailure(const std::string& logLine, const std::string& secret = "dpa-demo-58") {
    olbtest::LogCapture log;
    EXPECT_FALSE(m_handler.DiscoverClients(nullptr));
    EXPECT_EQ(log.Count(logLine), 1u) << log.All();
    EXPECT_FALSE(log.Contains(secret)) << log.All();
    for (const auto& r : log.records()) {
      if (r.text == logLine) {
        EXPECT_EQ(r.context, kContext);
        EXPECT_EQ(r.level, "DEBUG");
      }
    }
    EXPECT_TRUE(olbtest::ListDir(OutDir()).empty());
    EXPECT_TRUE(m_handler.dumpedFiles().empty());
    EXPECT_TRUE(LeftoverScripts().empty());
  }

  CForeignHandlerDPA m_handler;
};

TEST_F(DiscoverClientsTest, ServerFirstThenClientsWithTheirPolicies) {
  UseDatastore({SqlFile("crafted.sql", kCraftedSql)});
  olbtest::LogCapture log;
  ASSERT_TRUE(m_handler.DiscoverClients(nullptr));

  EXPECT_EQ(CForeignHandlerDPA::GetServerName(), "dpasrv");
  EXPECT_EQ(ModelNames(), (std::vector<std::string>{"dpasrv", "alpha", "beta", "gamma"}));
  EXPECT_EQ(ClientRows(), (std::vector<std::string>{"alpha", "beta", "gamma"}));
  EXPECT_EQ(log.Count("Found [4] clients"), 1u);
  EXPECT_EQ(log.Count("Policy [P1] not associated to any client"), 1u);

  ASSERT_EQ(olbtest::ListDir(OutDir()).size(), 1u);
  auto listed = ReadDump();
  ASSERT_EQ(listed.size(), 4u);
  EXPECT_EQ(listed[0].name, "dpasrv");
  EXPECT_TRUE(listed[0].master);
  EXPECT_TRUE(listed[0].subclients.empty());
  EXPECT_EQ(listed[1].name, "alpha");
  EXPECT_FALSE(listed[1].master);
  // P1 comes once per media server; the order within a client is the
  // query's.
  auto alpha = listed[1].subclients;
  ASSERT_FALSE(alpha.empty());
  EXPECT_EQ(alpha[0], "default");
  std::sort(alpha.begin() + 1, alpha.end());
  EXPECT_EQ(alpha, (std::vector<std::string>{"default", "P1", "P1", "P2"}));
  EXPECT_EQ(listed[2].name, "beta");
  EXPECT_EQ(listed[2].subclients, (std::vector<std::string>{"default", "P2"}));
  EXPECT_EQ(listed[3].name, "gamma");
  EXPECT_FALSE(listed[3].master);
  EXPECT_TRUE(listed[3].subclients.empty());

  EXPECT_TRUE(LeftoverScripts().empty());
  EXPECT_FALSE(log.Contains("dpa-demo-58")) << log.All();
}

TEST_F(DiscoverClientsTest, DemoDatastoreListsEveryClientInQueryOrder) {
  UseDatastore({olbtest::DemoSqlPath()});
  ASSERT_TRUE(m_handler.DiscoverClients(nullptr));
  auto listed = ReadDump();
  ASSERT_GE(listed.size(), 2u);
  ASSERT_EQ(listed.size(), m_handler.m_clients.size());

  EXPECT_TRUE(listed[0].master);
  EXPECT_FALSE(listed[0].name.empty());
  EXPECT_EQ(listed[0].name, CForeignHandlerDPA::GetServerName());
  std::vector<std::string> names;
  size_t withPolicies = 0;
  for (size_t i = 0; i < listed.size(); ++i) {
    const DPAClient& model = m_handler.m_clients[i];
    EXPECT_EQ(listed[i].name, model.ClientName());
    EXPECT_EQ(listed[i].master, i == 0);
    std::vector<std::string> expected;
    if (!model.Policylist().empty()) {
      expected.push_back("default");
      ++withPolicies;
    }
    for (const auto& g : model.Policylist()) expected.push_back(g.PolicyName());
    EXPECT_EQ(listed[i].subclients, expected) << listed[i].name;
    if (i > 0) names.push_back(listed[i].name);
  }
  EXPECT_EQ(names, ClientRows());
  EXPECT_GT(withPolicies, 0u);
  EXPECT_TRUE(LeftoverScripts().empty());
}

TEST_F(DiscoverClientsTest, SecondRunStartsFromAnEmptyList) {
  UseDatastore({SqlFile("crafted.sql", kCraftedSql)});
  ASSERT_TRUE(m_handler.DiscoverClients(nullptr));
  const auto first = ReadDump(0);
  const auto model = ModelNames();
  ASSERT_TRUE(m_handler.DiscoverClients(nullptr));
  const auto second = ReadDump(1);

  EXPECT_EQ(ModelNames(), model);
  ASSERT_EQ(second.size(), first.size());
  for (size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(second[i].name, first[i].name);
    EXPECT_EQ(second[i].master, first[i].master);
    EXPECT_EQ(second[i].subclients, first[i].subclients);
  }
  EXPECT_EQ(m_handler.m_clients[1].Policylist().size(), 3u);
}

TEST_F(DiscoverClientsTest, EmptyDatastoreStillWritesTheList) {
  UseDatastore({});
  olbtest::LogCapture log;
  ASSERT_TRUE(m_handler.DiscoverClients(nullptr));
  EXPECT_TRUE(m_handler.m_clients.empty());
  EXPECT_EQ(CForeignHandlerDPA::GetServerName(), "");
  EXPECT_EQ(log.Count("Found [0] clients"), 1u);
  ASSERT_EQ(olbtest::ListDir(OutDir()).size(), 1u);
  EXPECT_TRUE(ReadDump().empty());
  EXPECT_TRUE(LeftoverScripts().empty());
}

TEST_F(DiscoverClientsTest, WithoutAServerRowNoClientIsMaster) {
  UseDatastore({SqlFile("noserver.sql", kClientsSql)});
  ASSERT_TRUE(m_handler.DiscoverClients(nullptr));
  EXPECT_EQ(ModelNames(), (std::vector<std::string>{"alpha", "beta", "gamma"}));
  EXPECT_EQ(CForeignHandlerDPA::GetServerName(), "");
  auto listed = ReadDump();
  ASSERT_EQ(listed.size(), 3u);
  for (const auto& c : listed) EXPECT_FALSE(c.master) << c.name;
}

TEST_F(DiscoverClientsTest, ServerQueryFailing) {
  UseDatastore({SqlFile("crafted.sql", kCraftedSql), SqlFile("drop.sql", "DROP TABLE nodes;\n")});
  ExpectFailure("failed to collect server data");
  EXPECT_TRUE(m_handler.m_clients.empty());
}

TEST_F(DiscoverClientsTest, ClientQueryFailing) {
  // The client query reads the same table as the server query, so this one
  // fails through the tool: a sqlplus ahead of the stand-in on PATH refuses
  // any script that holds the client query.
  UseDatastore({SqlFile("crafted.sql", kCraftedSql)});
  const std::string bin = m_dir.file("bin");
  ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
  ASSERT_TRUE(olbtest::WriteFile(
      bin + "/sqlplus",
      "#!/bin/sh\n"
      "for a in \"$@\"; do case \"$a\" in @*) script=\"${a#@}\";; esac; done\n"
      "if grep -q 'f_type = 515' \"$script\"; then\n"
      "  echo 'ORA-03113: end-of-file on communication channel'; exit 1\n"
      "fi\n"
      "exec '" + olbtest::StandInBinDir() + "/sqlplus' \"$@\"\n"));
  ASSERT_EQ(chmod((bin + "/sqlplus").c_str(), 0700), 0);
  setenv("PATH", (bin + ":" + getenv("PATH")).c_str(), 1);

  ExpectFailure("failed to collect client data");
  // What the server collector added stays.
  EXPECT_EQ(ModelNames(), std::vector<std::string>{"dpasrv"});
}

TEST_F(DiscoverClientsTest, GroupQueryFailing) {
  UseDatastore(
      {SqlFile("crafted.sql", kCraftedSql), SqlFile("drop.sql", "DROP TABLE group_config;\n")});
  ExpectFailure("failed to collect group data");
  EXPECT_EQ(ModelNames(), (std::vector<std::string>{"dpasrv", "alpha", "beta", "gamma"}));
  for (const auto& c : m_handler.m_clients) EXPECT_TRUE(c.Policylist().empty());
}

TEST_F(DiscoverClientsTest, WrongPasswordFailsAtTheServer) {
  UseDatastore({SqlFile("crafted.sql", kCraftedSql)});
  SetCredentials("not-the-password");
  ExpectFailure("failed to collect server data", "not-the-password");
  EXPECT_TRUE(m_handler.m_clients.empty());
}

TEST_F(DiscoverClientsTest, UnwritableOutputFailsAfterBuilding) {
  UseDatastore({SqlFile("crafted.sql", kCraftedSql)});
  ASSERT_TRUE(olbtest::WriteFile(m_dir.file("plain-file"), ""));
  HostEnv::Get().outputDir = m_dir.file("plain-file/out");
  olbtest::LogCapture log;
  EXPECT_FALSE(m_handler.DiscoverClients(nullptr));
  EXPECT_EQ(log.Count("client hierarchy was created but dump to xml failed"), 1u) << log.All();
  EXPECT_EQ(m_handler.m_clients.size(), 4u);
  EXPECT_TRUE(LeftoverScripts().empty());
}

}  // namespace
