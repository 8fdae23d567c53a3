// The datastore settings: defaults and copies, the registry getters and
// DiscoverConfig.
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "handler/DBContext.h"
#include "testsupport/TestSupport.h"

namespace {

constexpr char kContext[] = "CForeignHandlerDPA::DiscoverConfig";
constexpr char kPassword[] = "s3cr3t-Pa55";

const char kFullRegistry[] =
    "[kRelayUnit]\n"
    "sDPAUSER=dpauser\n"
    "sDPAPASSWORD=s3cr3t-Pa55\n"
    "sDPADBNAME=dpadb\n"
    "sDPAINSTALLDIR=/opt/dpa/bin\n"
    "sDPAEXENAME=psql\n"
    "[~kRelayUnit]\n"
    "nDPADBTYPE=2\n"
    "nDPADBPORT=9003\n";

class ConfigTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    CForeignHandlerDPA::m_dbContext = DBContext();
  }
  void TearDown() override {
    CForeignHandlerDPA::m_dbContext = DBContext();
    HostFixture::TearDown();
  }

  static std::vector<int> Flags(CWzMessageBase& msg) {
    std::vector<int>* list = msg.getlistint(20, 62, kWzMsgId1, kWzMsgId2, false);
    return list ? *list : std::vector<int>();
  }

  // The config lines logged by DiscoverConfig, in order.
  static std::vector<std::string> ConfigLines(const olbtest::LogCapture& logs) {
    std::vector<std::string> lines;
    for (const LogRecord& r : logs.records()) {
      if (r.context == kContext) lines.push_back(r.text);
    }
    return lines;
  }
};

TEST(DBContextTest, DefaultsAndCopy) {
  DBContext context;
  EXPECT_EQ("dpa", context.getUserName());
  EXPECT_EQ("", context.getPassword());
  EXPECT_EQ("C:\\Program Files\\EMC\\DPA\\services\\datastore\\engine\\bin",
            context.getInstallDir());
  EXPECT_EQ("", context.getExecutableName());
  EXPECT_EQ(0, context.getPort());

  DBContext other;
  other.setUserName("u");
  other.setPort(-7);
  context = other;
  other.setUserName("changed");
  EXPECT_EQ("u", context.getUserName());
  EXPECT_EQ(-7, context.getPort());
}

TEST_F(ConfigTest, GettersLeaveTheArgumentWhenNotFound) {
  // Each key sits in the other section, where it is not looked for.
  SetRegistry(
      "[~kRelayUnit]\nsDPAUSER=wrong\n"
      "[kRelayUnit]\nnDPADBTYPE=1\nnDPADBPORT=1521\n");
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
}

TEST_F(ConfigTest, DBTypeOnlyZeroToTwoAndPortKeepsItsSign) {
  DBContext::DBMS type = DBContext::kDBMS1;
  for (int accepted : {0, 1, 2}) {
    SetRegistry("[~kRelayUnit]\nnDPADBTYPE=" + std::to_string(accepted) + "\n");
    EXPECT_TRUE(GetDBType(type));
    EXPECT_EQ(accepted, static_cast<int>(type));
  }
  for (const char* rejected : {"3", "-1", "2147483647", "one"}) {
    SetRegistry(std::string("[~kRelayUnit]\nnDPADBTYPE=") + rejected + "\n");
    type = DBContext::kDBMS1;
    EXPECT_FALSE(GetDBType(type)) << rejected;
    EXPECT_EQ(DBContext::kDBMS1, type) << rejected;
  }
  SetRegistry("[~kRelayUnit]\nnDPADBPORT=-2147483648\n");
  long port = 0;
  EXPECT_TRUE(GetDBPort(port));
  EXPECT_EQ(-2147483648L, port);
}

TEST_F(ConfigTest, DiscoverConfigReadsLogsMaskedAndStoresEverything) {
  SetRegistry(kFullRegistry);
  olbtest::LogCapture logs;
  CForeignHandlerDPA handler;
  CWzMessageBase config(30, 0);
  EXPECT_TRUE(handler.DiscoverConfig(&config));

  EXPECT_EQ((std::vector<std::string>{"User name = [dpauser]", "Password = [********]",
                                      "DBName = [dpadb]", "Install Directory = [/opt/dpa/bin]",
                                      "Exec Name = [psql]", "DB Type = [2]",
                                      "DB Port = [9003]"}),
            ConfigLines(logs));
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5}), Flags(config));
  // The password is stored but never written to the log.
  EXPECT_FALSE(logs.Contains(kPassword)) << logs.All();
  HostEnv::Get().Reset();  // closes the log file
  EXPECT_EQ(std::string::npos, olbtest::ReadFile(m_dir.file("debug.log")).find(kPassword));

  const DBContext& stored = CForeignHandlerDPA::m_dbContext;
  EXPECT_EQ("dpauser", stored.getUserName());
  EXPECT_EQ(kPassword, stored.getPassword());
  EXPECT_EQ("/opt/dpa/bin", stored.getInstallDir());
  EXPECT_EQ("psql", stored.getExecutableName());
  EXPECT_EQ(9003, stored.getPort());
}

TEST_F(ConfigTest, EmptySectionStoresEmptyValues) {
  SetRegistry("[kRelayUnit]\n[~kRelayUnit]\n");
  olbtest::LogCapture logs;
  CForeignHandlerDPA handler;
  CWzMessageBase config(30, 0);
  EXPECT_TRUE(handler.DiscoverConfig(&config));
  EXPECT_TRUE(ConfigLines(logs).empty()) << logs.All();
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5}), Flags(config));
  const DBContext& stored = CForeignHandlerDPA::m_dbContext;
  EXPECT_EQ("", stored.getUserName());
  EXPECT_EQ("", stored.getPassword());
  EXPECT_EQ("", stored.getInstallDir());
  EXPECT_EQ("", stored.getExecutableName());
  EXPECT_EQ(0, stored.getPort());
}

TEST_F(ConfigTest, OutOfRangeTypeIsNotLoggedAndNegativePortIsKept) {
  SetRegistry("[~kRelayUnit]\nnDPADBTYPE=3\nnDPADBPORT=-1521\n");
  olbtest::LogCapture logs;
  CForeignHandlerDPA handler;
  CWzMessageBase config(30, 0);
  EXPECT_TRUE(handler.DiscoverConfig(&config));
  EXPECT_EQ((std::vector<std::string>{"DB Port = [-1521]"}), ConfigLines(logs));
  EXPECT_EQ(-1521, CForeignHandlerDPA::m_dbContext.getPort());
}

TEST_F(ConfigTest, SecondCallAppendsAgainAndOverwritesSettings) {
  SetRegistry(kFullRegistry);
  CForeignHandlerDPA handler;
  CWzMessageBase config(30, 0);
  EXPECT_TRUE(handler.DiscoverConfig(&config));
  SetRegistry("[kRelayUnit]\nsDPAUSER=other\n");
  EXPECT_TRUE(handler.DiscoverConfig(&config));
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5, 1, 2, 3, 4, 5}), Flags(config));
  EXPECT_EQ("other", CForeignHandlerDPA::m_dbContext.getUserName());
  EXPECT_EQ("", CForeignHandlerDPA::m_dbContext.getPassword());
  EXPECT_EQ(0, CForeignHandlerDPA::m_dbContext.getPort());
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
