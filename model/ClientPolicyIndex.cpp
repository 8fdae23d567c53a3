#include "model/ClientPolicyIndex.h"

namespace {

void AssignLower(std::string& out, std::string_view text) {
  out.assign(text.data(), text.size());
  for (char& c : out) c = LowerAscii(c);
}

}  // namespace

void ClientPolicyIndex::Key::Assign(std::string_view clientName, std::string_view policyName) {
  AssignLower(client, clientName);
  AssignLower(policy, policyName);
  // Both parts hashed apart, so that a NUL inside a name cannot make two
  // different pairs look alike.
  std::hash<std::string_view> h;
  size_t c = h(client);
  hash = c ^ (h(policy) + 0x9e3779b97f4a7c15ull + (c << 6) + (c >> 2));
}

ClientPolicyIndex::ClientPolicyIndex(std::vector<DPAClient>& clients) : m_clients(clients) {
  size_t groups = 0;
  for (const DPAClient& client : clients) groups += client.Policylist().size();
  m_positions.reserve(groups);
  for (size_t c = 0; c < clients.size(); ++c) {
    std::string clientName = clients[c].ClientName();
    const std::vector<DPAGroup>& policies = clients[c].Policylist();
    for (size_t g = 0; g < policies.size(); ++g) {
      Key key;
      key.Assign(clientName, policies[g].PolicyName());
      auto [it, inserted] = m_positions.try_emplace(std::move(key), Position{c, g});
      // A later client replaces an earlier one; within one client the first
      // group stays.
      if (!inserted && it->second.client != c) it->second = Position{c, g};
    }
  }
}

void ClientPolicyIndex::Find(std::string_view client, std::string_view policy,
                             DPAClient*& foundClient, DPAGroup*& foundGroup) {
  if (m_positions.empty()) return;
  m_probe.Assign(client, policy);
  auto it = m_positions.find(m_probe);
  if (it == m_positions.end()) return;
  DPAClient& found = m_clients[it->second.client];
  foundClient = &found;
  foundGroup = &found.Policylist()[it->second.group];
}
