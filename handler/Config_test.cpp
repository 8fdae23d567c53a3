// The datastore settings: the registry getters and DiscoverConfig.
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "handler/DBContext.h"
#include "testsupport/TestSupport.h"

namespace {

typedef std::vector<std::string> Lines;

class ConfigTest : public olbtest::HostFixture {};

TEST_F(ConfigTest, GettersLeaveTheArgumentWhenNotFoundOrOutOfRange) {
  // Each key sits in the other section, where it is not looked for.
  SetRegistry("[~kRelayUnit]\nsDPAUSER=wrong\n[kRelayUnit]\nnDPADBTYPE=1\nnDPADBPORT=1521\n");
  std::string value = "kept";
  EXPECT_FALSE(GetUserName(value));
  EXPECT_FALSE(GetPassword(value));
  EXPECT_EQ("kept", value);
  DBContext::DBMS type = DBContext::kDBMS2;
  EXPECT_FALSE(GetDBType(type));
  EXPECT_EQ(DBContext::kDBMS2, type);
  long port = 42;
  EXPECT_FALSE(GetDBPort(port));
  EXPECT_EQ(42, port);

  // The type is taken only from 0 to 2; the port keeps its sign.
  for (const char* text : {"0", "1", "2", "3", "-1", "2147483647", "one"}) {
    SetRegistry(std::string("[~kRelayUnit]\nnDPADBTYPE=") + text + "\n");
    const bool accepted = std::string("012").find(text) != std::string::npos;
    type = DBContext::kDBMS1;
    EXPECT_EQ(accepted, GetDBType(type)) << text;
    EXPECT_EQ(accepted ? std::stoi(text) : 1, static_cast<int>(type)) << text;
  }
  SetRegistry("[~kRelayUnit]\nnDPADBPORT=-2147483648\n");
  EXPECT_TRUE(GetDBPort(port));
  EXPECT_EQ(-2147483648L, port);
}

TEST_F(ConfigTest, DiscoverConfigLogsMaskedAndStoresWhatItReads) {
  const char kPassword[] = "s3cr3t-Pa55";
  // Run one after the other on one message: each run appends 1 to 5 to its
  // flags and overwrites every setting (user|password|install dir|exec|port),
  // with "" or 0 for what is missing.
  const struct {
    std::string registry;
    Lines logged;
    std::string stored;
  } cases[] = {
      {"[kRelayUnit]\nsDPAUSER=dpauser\nsDPAPASSWORD=s3cr3t-Pa55\nsDPADBNAME=dpadb\n"
       "sDPAINSTALLDIR=/opt/dpa/bin\nsDPAEXENAME=psql\n[~kRelayUnit]\nnDPADBTYPE=2\n"
       "nDPADBPORT=9003\n",
       {"User name = [dpauser]", "Password = [********]", "DBName = [dpadb]",
        "Install Directory = [/opt/dpa/bin]", "Exec Name = [psql]", "DB Type = [2]",
        "DB Port = [9003]"},
       "dpauser|s3cr3t-Pa55|/opt/dpa/bin|psql|9003"},
      {"[kRelayUnit]\n[~kRelayUnit]\n", {}, "||||0"},
      // An out-of-range type is not logged; a negative port is kept.
      {"[~kRelayUnit]\nnDPADBTYPE=3\nnDPADBPORT=-1521\n", {"DB Port = [-1521]"}, "||||-1521"},
      {"[kRelayUnit]\nsDPAUSER=other\n", {"User name = [other]"}, "other||||0"},
  };
  CForeignHandlerDPA handler;
  CWzMessageBase config(30, 0);
  std::vector<int> flags;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.registry);
    SetRegistry(c.registry);
    olbtest::LogCapture logs;
    EXPECT_TRUE(handler.DiscoverConfig(&config));
    Lines logged;
    for (const LogRecord& r : logs.records()) {
      if (r.context == "CForeignHandlerDPA::DiscoverConfig") logged.push_back(r.text);
    }
    EXPECT_EQ(c.logged, logged);
    EXPECT_FALSE(logs.Contains(kPassword)) << logs.All();
    flags.insert(flags.end(), {1, 2, 3, 4, 5});
    const std::vector<int>* list = config.getlistint(20, 62, kWzMsgId1, kWzMsgId2, false);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(flags, *list);
    const DBContext& stored = CForeignHandlerDPA::m_dbContext;
    EXPECT_EQ(c.stored, stored.getUserName() + "|" + stored.getPassword() + "|" +
                            stored.getInstallDir() + "|" + stored.getExecutableName() + "|" +
                            std::to_string(stored.getPort()));
  }
  HostEnv::Get().Reset();  // closes the log file
  const std::string logFile = olbtest::ReadFile(m_dir.file("debug.log"));
  EXPECT_NE(std::string::npos, logFile.find("Password = [********]"));
  EXPECT_EQ(std::string::npos, logFile.find(kPassword));
}

TEST_F(ConfigTest, NoMessageOrNoRegistryFileIsNoFailure) {
  HostEnv::Get().registryFile = m_dir.file("missing.ini");
  CForeignHandlerDPA handler;
  EXPECT_TRUE(handler.DiscoverConfig(nullptr));
  EXPECT_EQ("", CForeignHandlerDPA::m_dbContext.getUserName());

  // A field 20 that already holds something else is left alone.
  CWzMessageBase config(30, 0);
  config.setstring(20, 62, "text", kWzMsgId1, kWzMsgId2);
  EXPECT_TRUE(handler.DiscoverConfig(&config));
  EXPECT_EQ("text", config.getstring(20, 62, kWzMsgId1, kWzMsgId2));
}

}  // namespace
