// Settings and naming where the golden run does not go: datastore settings
// missing, out of range or in the other section, DiscoverConfig called again;
// names without a server, and levels and states that only nearly match.
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "handler/DBContext.h"
#include "testsupport/TestSupport.h"

namespace {

class ConfigTest : public olbtest::HostFixture {};

TEST_F(ConfigTest, GettersLeaveTheArgumentWhenNotFoundOrOutOfRange) {
  // Each key sits in the other section, where it is not looked for.
  SetRegistry("[~kRelayUnit]\nsDPAUSER=wrong\n[kRelayUnit]\nnDPADBTYPE=1\nnDPADBPORT=1521\n");
  std::string value = "kept";
  EXPECT_FALSE(GetUserName(value) || GetPassword(value) || GetDBName(value) ||
               GetInstallDir(value) || GetExecName(value));
  EXPECT_EQ("kept", value);
  long port = 42;
  EXPECT_FALSE(GetDBPort(port));
  EXPECT_EQ(42, port);
  for (const char* text : {"0", "1", "2", "3", "-1", "one"}) {
    SetRegistry(std::string("[~kRelayUnit]\nnDPADBTYPE=") + text + "\n");
    const bool accepted = std::string("012").find(text) != std::string::npos;
    DBContext::DBMS type = DBContext::kDBMS1;
    EXPECT_EQ(accepted, GetDBType(type)) << text;
    EXPECT_EQ(accepted ? std::stoi(text) : 1, static_cast<int>(type)) << text;
  }
}

TEST_F(ConfigTest, EachCallStoresWhatItReadsAndAppendsOneToFive) {
  // user|password|install dir|exec|port after each call, "" or 0 when missing.
  const std::pair<std::string, std::string> cases[] = {
      {"[kRelayUnit]\nsDPAUSER=u\nsDPAPASSWORD=p\nsDPAINSTALLDIR=/d\nsDPAEXENAME=x\n"
       "[~kRelayUnit]\nnDPADBPORT=9\n",
       "u|p|/d|x|9"},
      {"[~kRelayUnit]\nnDPADBTYPE=3\n", "||||0"},
  };
  CForeignHandlerDPA handler;
  CWzMessageBase config(30, 0);
  std::vector<int> flags;
  for (const auto& [registry, stored] : cases) {
    SetRegistry(registry);
    olbtest::LogCapture logs;
    EXPECT_TRUE(handler.DiscoverConfig(&config));
    EXPECT_FALSE(logs.Contains("DB Type")) << logs.All();
    flags.insert(flags.end(), {1, 2, 3, 4, 5});
    EXPECT_EQ(flags, *config.getlistint(20, 62, kWzMsgId1, kWzMsgId2, false));
    const DBContext& c = CForeignHandlerDPA::m_dbContext;
    EXPECT_EQ(stored, c.getUserName() + "|" + c.getPassword() + "|" + c.getInstallDir() + "|" +
                          c.getExecutableName() + "|" + std::to_string(c.getPort()));
  }
  CForeignHandlerDPA::m_dbContext = DBContext();
}

TEST(NamingTest, NamesWithoutAServerAreTheBarePrefixes) {
  CForeignHandlerDPA::SetServerName("");
  EXPECT_EQ("DPA_|DPA__SP|DefaultDiskLibrary_",
            CForeignHandlerDPA::GenerateHubfieldName() + "|" +
                CForeignHandlerDPA::GenerateDefaultSPName() + "|" +
                CForeignHandlerDPA::GenerateDefaultLibraryName());
}

TEST(NamingTest, LevelAndStatusTakeOnlyTheWholeText) {
  // A non-ASCII letter is no variant of u; an embedded NUL does not cut short.
  const std::vector<std::string> levels = {
      "Full ", " Full", "Ful", "Differential", "", "F\xC3\x9Cll", std::string("Full\0x", 6)};
  for (const std::string& text : levels)
    EXPECT_EQ(0, CForeignHandlerDPA::GetZRCBackupLevel(text)) << text;
  const std::vector<std::string> states = {"successful", "succes", "", "fail ",
                                           std::string("fail\0", 5)};
  for (const std::string& text : states) EXPECT_EQ(7, CForeignHandlerDPA::GetStatus(text)) << text;
}

}  // namespace
