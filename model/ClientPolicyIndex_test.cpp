#include "model/ClientPolicyIndex.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"

namespace {

DPAClient MakeClient(const std::string& name, const std::vector<std::string>& policies) {
  DPAClient client;
  client.ClientName(name);
  for (const auto& p : policies) {
    DPAGroup group;
    group.PolicyName(p);
    client.addPolicy(group);
  }
  return client;
}

// A name from a small pool, with the case of each letter drawn at random, so
// that many names differ only in case.
std::string RandomName(std::mt19937& rng, const std::vector<std::string>& pool) {
  std::string name = pool[rng() % pool.size()];
  for (char& c : name) {
    if (rng() % 2) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return name;
}

TEST(AsciiCaseTest, OnlyAsciiLettersFoldAndWholeTextsCompare) {
  EXPECT_TRUE(EqualsIgnoreAsciiCase("Client-01", "cLIENT-01"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("client", "client "));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("\xc9", "\xe9"));  // Latin-1 E acute, both cases
  EXPECT_FALSE(EqualsIgnoreAsciiCase(std::string("a\0b", 3), std::string("a\0c", 3)));
  EXPECT_TRUE(EqualsIgnoreAsciiCase(std::string("A\0b", 3), std::string("a\0B", 3)));
  EXPECT_TRUE(EqualsIgnoreAsciiCase("", ""));
  EXPECT_EQ(HashIgnoreAsciiCase("Policy_7"), HashIgnoreAsciiCase("pOLICY_7"));
  EXPECT_NE(HashIgnoreAsciiCase("@"), HashIgnoreAsciiCase("`"));  // neighbours of A and a
}

TEST(ClientPolicyIndexTest, LastMatchingClientAndItsFirstMatchingGroupWin) {
  std::vector<DPAClient> clients = {MakeClient("host", {"p"}), MakeClient("HOST", {"x", "P", "p"}),
                                    MakeClient("Host", {"other"})};
  ClientPolicyIndex index(clients);
  DPAClient* client = nullptr;
  DPAGroup* group = nullptr;
  index.Find("hOSt", "p", client, group);
  EXPECT_EQ(&clients[1], client);
  EXPECT_EQ(&clients[1].Policylist()[1], group);

  // A matching client without the group leaves the results as they were.
  DPAClient sentinelClient;
  DPAGroup sentinelGroup;
  client = &sentinelClient;
  group = &sentinelGroup;
  index.Find("host", "nope", client, group);
  EXPECT_EQ(&sentinelClient, client);
  EXPECT_EQ(&sentinelGroup, group);
  index.Find("nobody", "p", client, group);
  EXPECT_EQ(&sentinelClient, client);
}

TEST(ClientPolicyIndexTest, NulInsideANameDoesNotJoinTwoPairs) {
  std::vector<DPAClient> clients = {MakeClient(std::string("a\0b", 3), {"c"}),
                                    MakeClient("a", {std::string("b\0c", 3)})};
  ClientPolicyIndex index(clients);
  DPAClient* client = nullptr;
  DPAGroup* group = nullptr;
  index.Find(std::string("A\0B", 3), "C", client, group);
  EXPECT_EQ(&clients[0], client);
  index.Find("A", std::string("B\0C", 3), client, group);
  EXPECT_EQ(&clients[1], client);
}

// The index against the handler's walk over every client and group, on
// random lists full of names that differ only in case and of repeated
// clients and groups.
TEST(ClientPolicyIndexTest, AgreesWithFindClientAndPolicyOnRandomLists) {
  std::mt19937 rng(2024);
  const std::vector<std::string> clientPool = {"alpha", "beta", "gamma.example.com", "d", ""};
  const std::vector<std::string> policyPool = {"daily", "weekly", "p1", "a-long-policy-name", ""};
  for (int round = 0; round < 200; ++round) {
    CForeignHandlerDPA handler;
    int clientCount = static_cast<int>(rng() % 12);
    for (int c = 0; c < clientCount; ++c) {
      std::vector<std::string> policies;
      int policyCount = static_cast<int>(rng() % 5);
      for (int p = 0; p < policyCount; ++p) policies.push_back(RandomName(rng, policyPool));
      handler.m_clients.push_back(MakeClient(RandomName(rng, clientPool), policies));
    }
    ClientPolicyIndex index(handler.m_clients);
    for (int q = 0; q < 50; ++q) {
      std::string clientName = RandomName(rng, clientPool);
      std::string policyName = RandomName(rng, policyPool);
      DPAClient* walkClient = nullptr;
      DPAGroup* walkGroup = nullptr;
      handler.FindClientAndPolicy(clientName, policyName, walkClient, walkGroup);
      DPAClient* fastClient = nullptr;
      DPAGroup* fastGroup = nullptr;
      index.Find(clientName, policyName, fastClient, fastGroup);
      ASSERT_EQ(walkClient, fastClient) << round << " " << clientName << "/" << policyName;
      ASSERT_EQ(walkGroup, fastGroup) << round << " " << clientName << "/" << policyName;
    }
  }
}

}  // namespace
