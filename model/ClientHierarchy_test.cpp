// The client hierarchy as the host reads it: built, dumped to XML, validated
// against the message schema and read back, with field numbers and type
// codes checked as plain numbers.
#include <string>
#include <utility>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "host/HxUtil.h"
#include "host/MessageXml.h"
#include "model/DPAClient.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

namespace {

typedef CWzMessageBase Msg;
typedef std::vector<std::pair<int, int>> Layout;  // (field number, type code) in order

Layout LayoutOf(const Msg& m) {
  Layout out;
  for (const auto& f : m.fields()) out.emplace_back(f.number, f.type);
  return out;
}

const Msg& Missing() {
  static const Msg empty(0, 0);
  return empty;
}

const Msg& Obj(const Msg& m, short n, int module, int type) {
  const Msg::Field* f = m.findField(n);
  if (f == nullptr || f->kind != Msg::Kind::kObject || !f->object) {
    ADD_FAILURE() << "no object in field " << n;
    return Missing();
  }
  EXPECT_EQ(f->object->module(), module) << "field " << n;
  EXPECT_EQ(f->object->messageType(), type) << "field " << n;
  return *f->object;
}

std::vector<const Msg*> Items(const Msg& m, short n, int module, int type) {
  std::vector<const Msg*> out;
  const Msg::Field* f = m.findField(n);
  if (f == nullptr || f->kind != Msg::Kind::kList || !f->list) {
    ADD_FAILURE() << "no list in field " << n;
    return out;
  }
  for (size_t i = 0; i < f->list->Size(); ++i) {
    const Msg& item = f->list->At(i);
    EXPECT_EQ(item.module(), module) << "field " << n;
    EXPECT_EQ(item.messageType(), type) << "field " << n;
    out.push_back(&item);
  }
  return out;
}

long long Int(const Msg& m, short n) {
  const Msg::Field* f = m.findField(n);
  if (f == nullptr || f->kind != Msg::Kind::kInt) {
    ADD_FAILURE() << "no integer in field " << n;
    return -1;
  }
  return f->intValue;
}

std::string Str(const Msg& m, short n) {
  const Msg::Field* f = m.findField(n);
  if (f == nullptr || f->kind != Msg::Kind::kString) {
    ADD_FAILURE() << "no string in field " << n;
    return "<none>";
  }
  return f->stringValue;
}

DPAClient MakeClient(const std::string& name, std::vector<std::string> policies,
                     bool master = false) {
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

class ClientHierarchyTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    CForeignHandlerDPA::SetServerName("dpasrv");
  }
  void TearDown() override {
    CForeignHandlerDPA::SetServerName("");
    HostFixture::TearDown();
  }

  // Builds one list of `clients`, dumps it, validates the file and reads it
  // back into `root`.
  void DumpAndRead(std::vector<DPAClient> clients, Msg& root) {
    App::ClientsList list;
    for (auto& c : clients) ASSERT_TRUE(c.BuildClientHierarchy(list));
    CForeignHandlerDPA handler;
    ASSERT_TRUE(handler.DumpXmlMsgToFile(&list, 0, false));
    ASSERT_EQ(handler.dumpedFiles().size(), 1u);
    const std::string path = handler.dumpedFiles()[0];
    std::string error;
    EXPECT_TRUE(olbtest::FileExists(path));
    EXPECT_TRUE(
        ValidateMessageXmlFile(path, olbtest::SourceDir() + "/host/message.xsd", &error))
        << error;
    ASSERT_TRUE(ReadMessageXmlFile(path, root, &error)) << error;
    EXPECT_EQ(root.module(), 30);
    EXPECT_EQ(root.messageType(), 164);
  }

  // The fixed part of every client: detail values, entity, first component,
  // operating system.
  static const Msg& CheckDetail(const Msg& info, const std::string& name) {
    const Msg& detail = Obj(info, 1, 30, 115);
    EXPECT_EQ(Str(detail, 4), "Data Protection Advisor Client");
    EXPECT_EQ(Str(detail, 3), "2");
    EXPECT_EQ(Int(detail, 11), 8600);
    EXPECT_EQ(Int(detail, 10), 8602);
    EXPECT_EQ(Int(detail, 12), 2);

    const Msg& entity = Obj(detail, 1, 18, 4);
    EXPECT_EQ(LayoutOf(entity), (Layout{{1, 1}, {2, 5}}));
    EXPECT_EQ(Str(entity, 1), name);
    EXPECT_EQ(Str(entity, 2), name);

    auto components = Items(detail, 19, 30, 21);
    if (!components.empty()) {
      EXPECT_EQ(LayoutOf(*components[0]), (Layout{{2, 2}, {1, 1}}));
      EXPECT_EQ(Str(*components[0], 2), "N/A");
      const Msg& ce = Obj(*components[0], 1, 18, 2);
      EXPECT_EQ(LayoutOf(ce), (Layout{{0, 0}}));
      EXPECT_EQ(Int(ce, 0), 3);
    }

    const Msg& os = Obj(detail, 2, 30, 18);
    EXPECT_EQ(LayoutOf(os), (Layout{{1, 1}, {2, 2}, {3, 6}, {5, 14}, {6, 18}}));
    EXPECT_EQ(Int(os, 1), 0);
    EXPECT_EQ(Str(os, 2), "Any");
    EXPECT_EQ(Str(os, 3), "Any");
    EXPECT_EQ(Str(os, 5), "Any");
    const Msg& osNested = Obj(os, 6, 30, 17);
    EXPECT_EQ(LayoutOf(osNested), (Layout{{1, 1}, {3, 9}}));
    EXPECT_EQ(Str(osNested, 1), "Any");
    EXPECT_EQ(Str(osNested, 3), "Any");
    return detail;
  }

  // The one agent, instance and backup set; returns the subclients as
  // (name, flags).
  static std::vector<std::pair<std::string, long long>> CheckAgent(const Msg& detail) {
    std::vector<std::pair<std::string, long long>> subclients;
    auto krus = Items(detail, 20, 30, 113);
    EXPECT_EQ(krus.size(), 1u);
    if (krus.empty()) return subclients;
    const Msg& kru = *krus[0];
    EXPECT_EQ(LayoutOf(kru), (Layout{{1, 1}, {2, 2}, {6, 6}}));
    const Msg& app = Obj(kru, 1, 18, 5);
    EXPECT_EQ(LayoutOf(app), (Layout{{0, 0}, {1, 1}}));
    EXPECT_EQ(Int(app, 0), 130);
    EXPECT_EQ(Str(app, 1), "Other External Agent");
    EXPECT_EQ(Int(kru, 2), 8194);

    auto instances = Items(kru, 6, 30, 112);
    EXPECT_EQ(instances.size(), 1u);
    if (instances.empty()) return subclients;
    EXPECT_EQ(LayoutOf(*instances[0]), (Layout{{1, 1}, {8, 8}}));
    EXPECT_EQ(Str(Obj(*instances[0], 1, 18, 8), 1), "defaultInstanceName");

    auto sets = Items(*instances[0], 8, 30, 289);
    EXPECT_EQ(sets.size(), 1u);
    if (sets.empty()) return subclients;
    EXPECT_EQ(LayoutOf(*sets[0]), (Layout{{1, 1}, {2, 2}, {6, 6}}));
    EXPECT_EQ(Str(Obj(*sets[0], 1, 18, 9), 1), "defaultBackupSet");
    EXPECT_EQ(Int(*sets[0], 2), 10);

    for (const Msg* sub : Items(*sets[0], 6, 30, 27)) {
      EXPECT_EQ(LayoutOf(*sub), (Layout{{3, 6}, {1, 1}}));
      const Msg& entity = Obj(*sub, 1, 18, 10);
      EXPECT_EQ(LayoutOf(entity), (Layout{{1, 1}}));
      subclients.emplace_back(Str(entity, 1), Int(*sub, 3));
    }
    return subclients;
  }
};

typedef std::vector<std::pair<std::string, long long>> Subclients;

TEST_F(ClientHierarchyTest, MasterServerAndClientsAsTheHostReadsThem) {
  Msg root(0, 0);
  DumpAndRead({MakeClient("dpasrv", {"P0"}, true), MakeClient("alpha", {"P1", "P2"}),
               MakeClient("twice", {"P1", "P1"}), MakeClient("bare", {})},
              root);
  EXPECT_EQ(LayoutOf(root), (Layout{{1, 1}}));
  auto infos = Items(root, 1, 30, 163);
  ASSERT_EQ(infos.size(), 4u);

  // Master server: settings, time zone and the media-server component.
  {
    SCOPED_TRACE("master server");
    const Msg& info = *infos[0];
    EXPECT_EQ(LayoutOf(info), (Layout{{1, 1}, {2, 2}}));
    const Msg& detail = CheckDetail(info, "dpasrv");
    EXPECT_EQ(LayoutOf(detail), (Layout{{4, 7},
                                        {3, 3},
                                        {11, 17},
                                        {10, 16},
                                        {12, 18},
                                        {1, 1},
                                        {19, 28},
                                        {2, 2},
                                        {6, 12},
                                        {20, 29}}));
    auto components = Items(detail, 19, 30, 21);
    ASSERT_EQ(components.size(), 2u);
    EXPECT_EQ(LayoutOf(*components[1]), (Layout{{2, 2}, {1, 1}}));
    EXPECT_EQ(Str(*components[1], 2), "N/A");
    EXPECT_EQ(Int(Obj(*components[1], 1, 18, 2), 0), 11);

    const Msg& tz = Obj(detail, 6, 18, 45);
    EXPECT_EQ(LayoutOf(tz), (Layout{{1, 1}}));
    EXPECT_EQ(Str(tz, 1), GetTimeZoneDisplayNameW());

    const Msg& settings = Obj(info, 2, 30, 140);
    EXPECT_EQ(LayoutOf(settings), (Layout{{11, 20}, {17, 41}, {1, 1}}));
    EXPECT_EQ(Str(settings, 11), GetTimeZoneDisplayNameA());
    EXPECT_EQ(Int(settings, 17), 109);
    const Msg& hub = Obj(settings, 1, 18, 3);
    EXPECT_EQ(LayoutOf(hub), (Layout{{1, 1}, {3, 9}, {5, 11}}));
    EXPECT_EQ(Str(hub, 1), "DPA_dpasrv");
    EXPECT_EQ(Int(hub, 3), 1);
    const Msg& number = Obj(hub, 5, 18, 0);
    EXPECT_EQ(LayoutOf(number), (Layout{{0, 0}}));
    EXPECT_EQ(Int(number, 0), 1);

    EXPECT_EQ(CheckAgent(detail), (Subclients{{"default", 8}, {"P0", 0}}));
  }

  const Layout clientDetail{{4, 7}, {3, 3}, {11, 17}, {10, 16}, {12, 18},
                            {1, 1}, {19, 28}, {2, 2}, {20, 29}};
  {
    SCOPED_TRACE("client with two policies: one agent, instance and backup set");
    EXPECT_EQ(LayoutOf(*infos[1]), (Layout{{1, 1}}));
    const Msg& detail = CheckDetail(*infos[1], "alpha");
    EXPECT_EQ(LayoutOf(detail), clientDetail);
    EXPECT_EQ(Items(detail, 19, 30, 21).size(), 1u);
    EXPECT_EQ(CheckAgent(detail), (Subclients{{"default", 8}, {"P1", 0}, {"P2", 0}}));
  }
  {
    SCOPED_TRACE("policy attached twice");
    const Msg& detail = CheckDetail(*infos[2], "twice");
    EXPECT_EQ(CheckAgent(detail), (Subclients{{"default", 8}, {"P1", 0}, {"P1", 0}}));
  }
  {
    SCOPED_TRACE("client without policies: no agent list at all");
    EXPECT_EQ(LayoutOf(*infos[3]), (Layout{{1, 1}}));
    const Msg& detail = CheckDetail(*infos[3], "bare");
    EXPECT_EQ(LayoutOf(detail), Layout(clientDetail.begin(), clientDetail.end() - 1));
    EXPECT_EQ(Items(detail, 19, 30, 21).size(), 1u);
  }
}

TEST_F(ClientHierarchyTest, LaterPoliciesReuseTheAgentEntries) {
  // A second pass over the same ClientInfo finds the agent, instance and
  // backup set by type and name and only adds subclients.
  DPAClient client = MakeClient("alpha", {"P1"});
  App::ClientsList list;
  ASSERT_TRUE(client.BuildClientHierarchy(list));
  App::ClientInfo& info = (*List(list, App::ClientsList::clients))[0];
  DPAGroup p2;
  p2.PolicyName("P2");
  client.addPolicy(p2);
  EXPECT_TRUE(client.BuildKRUInfo(info));

  const Msg& detail = Obj(info, 1, 30, 115);
  EXPECT_EQ(CheckAgent(detail), (Subclients{{"default", 8}, {"P1", 0}, {"P1", 0}, {"P2", 0}}));
}

TEST_F(ClientHierarchyTest, BuildingLogsEachClient) {
  olbtest::LogCapture log;
  App::ClientsList list;
  DPAClient bare = MakeClient("bare", {});
  EXPECT_TRUE(bare.BuildClientHierarchy(list));
  EXPECT_EQ(log.Count("Building KRU information for client[bare]"), 1u);
  ASSERT_FALSE(log.records().empty());
  EXPECT_EQ(log.records().back().context, "DPAClient::BuildClientHierarchy");
  EXPECT_EQ(log.records().back().debugLevel, 4);
  EXPECT_FALSE(log.Contains("Failed to build"));
}

TEST(DPAClientModel, EveryGroupHasTheSameAgent) {
  DPAClient client;
  DPAGroup group;
  std::string app = "old", backupSet = "old", instance = "old";
  EXPECT_EQ(client.GetAppInfo(group, app, backupSet, instance), 130);
  EXPECT_EQ(app, "Other External Agent");
  EXPECT_EQ(backupSet, "defaultBackupSet");
  EXPECT_EQ(instance, "defaultInstanceName");
}

}  // namespace
