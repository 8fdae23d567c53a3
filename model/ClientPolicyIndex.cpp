#include "model/ClientPolicyIndex.h"

namespace {

inline char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

void AssignLower(std::string& out, std::string_view text) {
  out.assign(text.data(), text.size());
  for (char& c : out) c = LowerAscii(c);
}

}  // namespace

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

uint64_t HashIgnoreAsciiCase(std::string_view text) {
  // FNV-1a over the lower-cased bytes.
  uint64_t h = 14695981039346656037ull;
  for (char c : text) {
    h ^= static_cast<unsigned char>(LowerAscii(c));
    h *= 1099511628211ull;
  }
  return h;
}

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
