// DiscoverClients end to end: the sqlplus stand-in runs the three queries on
// a datastore made for each case. What the client list holds field by field
// is pinned by the golden run; here, what a run leaves in the handler.
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "testsupport/TestSupport.h"

namespace {

typedef std::vector<std::string> Lines;

// A server, three clients and two policies; alpha has P1 through two media
// servers (so twice) and P2, beta has P2, gamma none, and P1 also names a
// client that is not in the datastore.
const char kServerSql[] =
    "INSERT INTO nodes (f_name, f_globalname, f_type) VALUES ('dpasrv', 'dpasrv.example', 212);\n";
const char kClientsSql[] = R"(
INSERT INTO nodes (f_name, f_globalname, f_type) VALUES
  ('alpha', 'alpha.example', 515), ('beta', 'beta.example', 515), ('gamma', 'gamma.example', 515);
INSERT INTO group_config (f_group_name, f_policy_type) VALUES ('P1', 'Standard'), ('P2', 'Win');
INSERT INTO backupjob (f_group_name, f_client_name, f_media_server) VALUES ('P1', 'alpha', 'm1'),
  ('P1', 'alpha', 'm2'), ('P1', 'alpha', 'm2'), ('P2', 'alpha', 'm1'), ('P2', 'beta', 'm1'),
  ('P1', 'ghost', 'm1');
)";
const std::string kCraftedSql = std::string(kServerSql) + kClientsSql;

// Each client of the handler's list with its policies, and the server name.
Lines Held(const CForeignHandlerDPA& handler) {
  Lines out{"server " + CForeignHandlerDPA::GetServerName()};
  for (const DPAClient& client : handler.m_clients) {
    out.push_back(client.ClientName());
    for (const DPAGroup& g : client.Policylist()) out.back() += " " + g.PolicyName();
  }
  return out;
}

class DiscoverClientsTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    SetCredentials("dpa-demo-58");
  }

  void SetCredentials(const std::string& password) {
    SetRegistry("[kRelayUnit]\nsDPAUSER=dpa\nsDPAPASSWORD=" + password + "\n");
    CWzMessageBase config(30, 1);
    ASSERT_TRUE(CForeignHandlerDPA().DiscoverConfig(&config));
  }

  // A fresh datastore from the schema and `sql`, named for the stand-in.
  void Datastore(const std::string& sql) {
    const std::string name = m_dir.file("dpa" + std::to_string(m_count++));
    ASSERT_TRUE(olbtest::WriteFile(name + ".sql", sql));
    ASSERT_TRUE(olbtest::CreateDatastore(name + ".db", {name + ".sql"}));
    setenv("OLB_DPA_DATASTORE", (name + ".db").c_str(), 1);
  }

  // Files left in the work directory that are not the tool's captured
  // output: script files the collectors failed to remove.
  std::string LeftoverScripts() const {
    std::string out;
    olbtest::RunShell("find '" + WorkDir() + "' -type f ! -name 'olb_dpa_*'", &out);
    return out;
  }

  int m_count = 0;
};

TEST_F(DiscoverClientsTest, EachRunStartsAfresh) {
  const struct {
    std::string sql;
    Lines held;
  } cases[] = {
      {kCraftedSql, {"server dpasrv", "dpasrv", "alpha P1 P1 P2", "beta P2", "gamma"}},
      // Without a server row there is no server name, not even a stale one.
      {kClientsSql, {"server ", "alpha P1 P1 P2", "beta P2", "gamma"}},
      {"", {"server "}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.held.size());
    Datastore(c.sql);
    CForeignHandlerDPA::SetServerName("stale");
    olbtest::LogCapture log;
    CForeignHandlerDPA handler;
    // A second run lists nothing twice.
    ASSERT_TRUE(handler.DiscoverClients(nullptr));
    ASSERT_TRUE(handler.DiscoverClients(nullptr));
    EXPECT_EQ(Held(handler), c.held);
    ASSERT_EQ(handler.dumpedFiles().size(), 2u);
    EXPECT_EQ(olbtest::ReadFile(handler.dumpedFiles()[0]),
              olbtest::ReadFile(handler.dumpedFiles()[1]));
    EXPECT_EQ(LeftoverScripts(), "");
    EXPECT_FALSE(log.Contains("dpa-demo-58")) << log.All();
  }
}

TEST_F(DiscoverClientsTest, AFailedRunLeavesWhatTheLastGoodRunLeft) {
  // A sqlplus ahead of the stand-in refuses scripts that hold $REFUSE.
  const std::string bin = m_dir.file("bin");
  ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
  ASSERT_TRUE(olbtest::WriteFile(
      bin + "/sqlplus",
      "#!/bin/sh\nfor a in \"$@\"; do case \"$a\" in @*) script=\"${a#@}\";; esac; done\n"
      "if [ -n \"$REFUSE\" ] && grep -qF \"$REFUSE\" \"$script\"; then\n"
      "  echo 'ORA-03113: end-of-file on communication channel'; exit 1\nfi\n"
      "exec '" +
          olbtest::StandInBinDir() + "/sqlplus' \"$@\"\n"));
  ASSERT_EQ(chmod((bin + "/sqlplus").c_str(), 0700), 0);
  setenv("PATH", (bin + ":" + std::getenv("PATH")).c_str(), 1);
  // The good run sees another server and one more client than the failing one.
  const std::string goodSql = std::string(kClientsSql) +
                              "INSERT INTO nodes (f_name, f_globalname, f_type) VALUES "
                              "('oldsrv', 'o', 212), ('delta', 'd', 515);\n";

  // Each failure ends the run with its log line, no file and no script left,
  // never a password in the log, and the handler as the good run left it.
  const struct {
    std::string sql, refuse, password, failure;
  } cases[] = {
      {"DROP TABLE nodes;", "", "dpa-demo-58", "failed to collect server data"},
      // The client query reads the same table as the server query.
      {"", "f_type = 515", "dpa-demo-58", "failed to collect client data"},
      {"DROP TABLE group_config;", "", "dpa-demo-58", "failed to collect group data"},
      {"", "", "not-the-password", "failed to collect server data"},
      {"", "", "dpa-demo-58", "client hierarchy was created but dump to xml failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failure + " " + c.password);
    HostEnv::Get().outputDir = OutDir();
    CForeignHandlerDPA handler;
    Datastore(goodSql);
    ASSERT_TRUE(handler.DiscoverClients(nullptr));
    const Lines good = Held(handler);
    ASSERT_EQ(good.size(), 6u);
    ASSERT_EQ(good[0], "server oldsrv");

    Datastore(kCraftedSql + c.sql);
    SetCredentials(c.password);
    setenv("REFUSE", c.refuse.c_str(), 1);
    if (c.failure.find("dump") != std::string::npos) {
      ASSERT_TRUE(olbtest::WriteFile(m_dir.file("plain-file"), ""));
      HostEnv::Get().outputDir = m_dir.file("plain-file/out");
    }
    olbtest::LogCapture log;
    EXPECT_FALSE(handler.DiscoverClients(nullptr));
    EXPECT_EQ(log.Count(c.failure), 1u) << log.All();
    for (const auto& r : log.records()) {
      if (r.text != c.failure) continue;
      EXPECT_EQ(r.context, "CForeignHandlerDPA::DiscoverClients");
      EXPECT_EQ(r.level, "DEBUG");
    }
    EXPECT_FALSE(log.Contains("dpa-demo-58") || log.Contains(c.password)) << log.All();
    EXPECT_EQ(Held(handler), good);
    EXPECT_EQ(handler.dumpedFiles().size(), 1u);
    EXPECT_EQ(LeftoverScripts(), "");
    SetCredentials("dpa-demo-58");
    unsetenv("REFUSE");
  }
}

}  // namespace
