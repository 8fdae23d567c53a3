// The client hierarchy as the host reads it: built, dumped, validated against
// the message schema and read back, stated one line per leaf field (field
// numbers, type codes, values and order).
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "host/HxUtil.h"
#include "model/DPAClient.h"
#include "testsupport/TestSupport.h"

namespace {

typedef std::vector<std::string> Lines;

Lines Cat(std::initializer_list<Lines> parts) {
  Lines out;
  for (const Lines& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

DPAClient MakeClient(const std::string& name, const Lines& policies, bool master = false) {
  DPAClient client;
  client.ClientName(name);
  client.MasterServer(master);
  for (const auto& p : policies) {
    DPAGroup g;
    g.PolicyName(p);
    g.PolicyType("Standard");
    client.addPolicy(g);
  }
  return client;
}

// What every client's detail starts with: values, entity, client component.
Lines Detail(const std::string& name) {
  return {"detail(1:1).description(4:7) = \"Data Protection Advisor Client\"",
          "detail(1:1).text3(3:3) = \"2\"",
          "detail(1:1).value11(11:17) = 8600",
          "detail(1:1).value10(10:16) = 8602",
          "detail(1:1).value12(12:18) = 2",
          "detail(1:1).entity(1:1).clientName(1:1) = \"" + name + "\"",
          "detail(1:1).entity(1:1).hostName(2:5) = \"" + name + "\"",
          "detail(1:1).components(19:28)[0].text2(2:2) = \"N/A\"",
          "detail(1:1).components(19:28)[0].entity(1:1).entityType(0:0) = 3"};
}

const Lines kOs = {"detail(1:1).osInfo(2:2).code(1:1) = 0",
                   "detail(1:1).osInfo(2:2).text2(2:2) = \"Any\"",
                   "detail(1:1).osInfo(2:2).text3(3:6) = \"Any\"",
                   "detail(1:1).osInfo(2:2).text5(5:14) = \"Any\"",
                   "detail(1:1).osInfo(2:2).nested6(6:18).text1(1:1) = \"Any\"",
                   "detail(1:1).osInfo(2:2).nested6(6:18).text3(3:9) = \"Any\""};

// The one agent, instance and backup set, holding `subclients` in order.
Lines Agent(const Lines& subclients) {
  const std::string kru = "detail(1:1).kruList(20:29)[0].";
  const std::string set = kru + "instances(6:6)[0].backupSets(8:8)[0].";
  Lines out = {kru + "app(1:1).appType(0:0) = 130",
               kru + "app(1:1).appName(1:1) = \"Other External Agent\"",
               kru + "flags(2:2) = 8194",
               kru + "instances(6:6)[0].entity(1:1).instanceName(1:1) = \"defaultInstanceName\"",
               set + "entity(1:1).backupSetName(1:1) = \"defaultBackupSet\"",
               set + "flags(2:2) = 10"};
  for (size_t i = 0; i < subclients.size(); ++i) {
    const std::string sub = set + "subclients(6:6)[" + std::to_string(i) + "].";
    out.push_back(sub + "flags(3:6) = " + (i == 0 ? "8" : "0"));
    out.push_back(sub + "entity(1:1).subclientName(1:1) = \"" + subclients[i] + "\"");
  }
  return out;
}

class ClientHierarchyTest : public olbtest::HostFixture {};

TEST_F(ClientHierarchyTest, MasterServerAndClientsAsTheHostReadsThem) {
  CForeignHandlerDPA::SetServerName("dpasrv");
  olbtest::LogCapture log;
  App::ClientsList list;
  for (DPAClient c : {MakeClient("dpasrv", {"P0"}, true), MakeClient("alpha", {"P1", "P2"}),
                      MakeClient("twice", {"P1", "P1"}), MakeClient("bare", {})}) {
    ASSERT_TRUE(c.BuildClientHierarchy(list));
  }
  EXPECT_EQ(log.Count("Building KRU information for client[bare]"), 1u);
  CForeignHandlerDPA handler;
  ASSERT_TRUE(handler.DumpXmlMsgToFile(&list, 0, false));
  ASSERT_EQ(handler.dumpedFiles().size(), 1u);
  const Lines lines = olbtest::DescribeDumpedFile(handler.dumpedFiles()[0]);

  const Lines expected[] = {
      // The master server: a media-server component, a time zone and the
      // settings with its hub field.
      Cat({Detail("dpasrv"),
           {"detail(1:1).components(19:28)[1].text2(2:2) = \"N/A\"",
            "detail(1:1).components(19:28)[1].entity(1:1).entityType(0:0) = 11"},
           kOs,
           {"detail(1:1).timeZone(6:12).timeZoneName(1:1) = \"" + GetTimeZoneDisplayNameW() + "\""},
           Agent({"default", "P0"}),
           {"settings(2:2).timeZoneName(11:20) = \"" + GetTimeZoneDisplayNameA() + "\"",
            "settings(2:2).value17(17:41) = 109",
            "settings(2:2).hubfield(1:1).hubfieldName(1:1) = \"DPA_dpasrv\"",
            "settings(2:2).hubfield(1:1).value3(3:9) = 1",
            "settings(2:2).hubfield(1:1).option(5:11).value(0:0) = 1"}}),
      // Two policies share one agent, instance and backup set.
      Cat({Detail("alpha"), kOs, Agent({"default", "P1", "P2"})}),
      // A policy attached twice gives two subclients.
      Cat({Detail("twice"), kOs, Agent({"default", "P1", "P1"})}),
      // Without policies there is no agent list at all.
      Cat({Detail("bare"), kOs}),
  };
  size_t total = 0;
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const Lines client = olbtest::Under(lines, "clients(1:1)[" + std::to_string(i) + "].");
    EXPECT_EQ(client, expected[i]);
    total += client.size();
  }
  EXPECT_EQ(total, lines.size());
}

}  // namespace
