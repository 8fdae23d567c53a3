#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "host/HxUtil.h"
#include "host/MessageXml.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

namespace {

std::vector<short> Order(const CWzMessageBase& msg) {
  std::vector<short> numbers;
  for (const auto& f : msg.fields()) numbers.push_back(f.number);
  return numbers;
}

class StoragePolicyTest : public olbtest::HostFixture {
 protected:
  void TearDown() override {
    CForeignHandlerDPA::SetServerName("");
    HostFixture::TearDown();
  }
  // Runs the operation and reads back the one file it wrote.
  ZRC::StoragePolicyList Discover(std::string* path = nullptr) {
    CForeignHandlerDPA handler;
    ZRC::StoragePolicyList back;
    EXPECT_TRUE(handler.DiscoverStoragePolicies(nullptr));
    if (handler.dumpedFiles().size() != 1u) {
      ADD_FAILURE() << "expected one file";
      return back;
    }
    const std::string& file = handler.dumpedFiles()[0];
    if (path != nullptr) *path = file;
    std::string error;
    EXPECT_TRUE(ValidateMessageXmlFile(file, olbtest::SourceDir() + "/host/message.xsd", &error))
        << error;
    EXPECT_TRUE(ReadMessageXmlFile(file, back, &error)) << error;
    return back;
  }
};

TEST_F(StoragePolicyTest, DefaultPolicyWithKnownServer) {
  CForeignHandlerDPA::SetServerName("dpa01");
  ZRC::StoragePolicyList list = Discover();
  EXPECT_EQ(Order(list), (std::vector<short>{1, 5, 4}));
  EXPECT_EQ(GetString(list, ZRC::StoragePolicyList::hubfieldName), "DPA_dpa01");
  EXPECT_EQ(GetInt(list, ZRC::StoragePolicyList::flags), 0);
  ASSERT_TRUE(IsSet(list, ZRC::StoragePolicyList::policies));
  auto& policies = *List(list, ZRC::StoragePolicyList::policies);
  ASSERT_EQ(policies.size(), 1u);

  ZRC::StoragePolicy& policy = policies[0];
  EXPECT_EQ(Order(policy), (std::vector<short>{1, 3, 6, 5, 8, 9, 4, 7, 10, 2}));
  EXPECT_EQ(GetString(policy, ZRC::StoragePolicy::name), "DPA_dpa01_SP");
  EXPECT_EQ(GetString(policy, ZRC::StoragePolicy::primaryCopyName), "PrimaryCopy");
  EXPECT_EQ(GetString(policy, ZRC::StoragePolicy::snapCopyName), "SnapCopy");
  EXPECT_EQ(GetInt(policy, ZRC::StoragePolicy::value5), 5);
  EXPECT_EQ(GetInt(policy, ZRC::StoragePolicy::value8), 0);
  EXPECT_EQ(GetString(policy, ZRC::StoragePolicy::timeZone), GetTimeZoneDisplayNameA());
  EXPECT_EQ(GetInt(policy, ZRC::StoragePolicy::value4), 1);
  EXPECT_EQ(GetInt(policy, ZRC::StoragePolicy::value7), 0);
  EXPECT_EQ(GetString(policy, ZRC::StoragePolicy::description),
            "Default policy created by Outland Bridge agent");
  auto& copies = *List(policy, ZRC::StoragePolicy::copies);
  ASSERT_EQ(copies.size(), 1u);

  ZRC::StoragePolicyCopy& copy = copies[0];
  EXPECT_EQ(Order(copy), (std::vector<short>{1, 2, 3, 4, 6, 7, 8, 10, 11, 12, 14, 5, 9, 15}));
  EXPECT_EQ(GetString(copy, ZRC::StoragePolicyCopy::storagePolicyName), "DPA_dpa01_SP");
  EXPECT_EQ(GetString(copy, ZRC::StoragePolicyCopy::copyName), "PrimaryCopy");
  EXPECT_EQ(GetString(copy, ZRC::StoragePolicyCopy::description),
            "Default primary copy created by Outland Bridge agent");
  const std::vector<std::pair<IntFieldId, long long>> copyInts = {
      {ZRC::StoragePolicyCopy::value2, 1},  {ZRC::StoragePolicyCopy::value4, 0},
      {ZRC::StoragePolicyCopy::value6, 1},  {ZRC::StoragePolicyCopy::value7, 1},
      {ZRC::StoragePolicyCopy::value8, 0},  {ZRC::StoragePolicyCopy::value10, 0},
      {ZRC::StoragePolicyCopy::value11, 0}, {ZRC::StoragePolicyCopy::value14, -1},
      {ZRC::StoragePolicyCopy::value5, 0},  {ZRC::StoragePolicyCopy::value9, 1}};
  for (const auto& [field, value] : copyInts) EXPECT_EQ(GetInt(copy, field), value) << field.name;
  auto& paths = *List(copy, ZRC::StoragePolicyCopy::dataPaths);
  ASSERT_EQ(paths.size(), 1u);

  ZRC::StoragePolicyDataPath& path = paths[0];
  EXPECT_EQ(Order(path), (std::vector<short>{1, 2, 5, 6, 7, 8, 9, 12, 3, 4, 10, 11}));
  EXPECT_EQ(GetString(path, ZRC::StoragePolicyDataPath::storagePolicyName), "DPA_dpa01_SP");
  EXPECT_EQ(GetString(path, ZRC::StoragePolicyDataPath::copyName), "PrimaryCopy");
  EXPECT_EQ(GetString(path, ZRC::StoragePolicyDataPath::libraryName),
            "DefaultDiskLibrary_dpa01");
  EXPECT_EQ(GetString(path, ZRC::StoragePolicyDataPath::value3), "None");
  EXPECT_EQ(GetString(path, ZRC::StoragePolicyDataPath::serverName), "dpa01");
  const std::vector<std::pair<IntFieldId, long long>> pathInts = {
      {ZRC::StoragePolicyDataPath::value6, 0},  {ZRC::StoragePolicyDataPath::value7, 1},
      {ZRC::StoragePolicyDataPath::value8, 1},  {ZRC::StoragePolicyDataPath::value9, 0},
      {ZRC::StoragePolicyDataPath::value12, 0}, {ZRC::StoragePolicyDataPath::value10, 0},
      {ZRC::StoragePolicyDataPath::value11, 0}};
  for (const auto& [field, value] : pathInts) EXPECT_EQ(GetInt(path, field), value) << field.name;
}

TEST_F(StoragePolicyTest, BarePrefixesWithoutServerAndSameListTwice) {
  std::string firstPath, secondPath;
  ZRC::StoragePolicyList first = Discover(&firstPath);
  ZRC::StoragePolicyList second = Discover(&secondPath);
  EXPECT_NE(firstPath, secondPath);
  EXPECT_TRUE(first == second);
  EXPECT_EQ(olbtest::ReadFile(firstPath), olbtest::ReadFile(secondPath));

  EXPECT_EQ(GetString(first, ZRC::StoragePolicyList::hubfieldName), "DPA_");
  ZRC::StoragePolicy& policy = List(first, ZRC::StoragePolicyList::policies)->at(0);
  EXPECT_EQ(GetString(policy, ZRC::StoragePolicy::name), "DPA__SP");
  ZRC::StoragePolicyDataPath& path =
      List(List(policy, ZRC::StoragePolicy::copies)->at(0), ZRC::StoragePolicyCopy::dataPaths)
          ->at(0);
  EXPECT_EQ(GetString(path, ZRC::StoragePolicyDataPath::libraryName), "DefaultDiskLibrary_");
  EXPECT_EQ(GetString(path, ZRC::StoragePolicyDataPath::serverName), "");
}

TEST_F(StoragePolicyTest, FailedDumpIsReported) {
  olbtest::LogCapture log;
  HostEnv::Get().outputDir = m_dir.file("missing");
  CForeignHandlerDPA handler;
  EXPECT_FALSE(handler.DiscoverStoragePolicies(nullptr));
  EXPECT_EQ(log.Count("Unable to dump storage policy file"), 1u);
  EXPECT_TRUE(handler.dumpedFiles().empty());
}

}  // namespace
