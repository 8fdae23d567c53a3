// ClientPolicyIndex: finds the client and group of a job by name in a client
// list with one hashed look-up instead of a walk over every client and
// group. Names compare with ASCII case ignored; when several clients match,
// the last one in list order wins, and within it the first matching group,
// which is what CForeignHandlerDPA::FindClientAndPolicy gives.
//
// The index holds positions, so it stays right only while the client list
// and the clients' group lists are not changed.
#ifndef OLB_MODEL_CLIENT_POLICY_INDEX_H_
#define OLB_MODEL_CLIENT_POLICY_INDEX_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/AsciiText.h"
#include "model/DPAClient.h"

class ClientPolicyIndex {
 public:
  explicit ClientPolicyIndex(std::vector<DPAClient>& clients);

  // Sets both out-arguments to the client and group for the two names, or
  // leaves both untouched when no client has such a group.
  void Find(std::string_view client, std::string_view policy, DPAClient*& foundClient,
            DPAGroup*& foundGroup);

 private:
  struct Key {
    // Sets both names lower-cased, and the hash.
    void Assign(std::string_view clientName, std::string_view policyName);
    bool operator==(const Key& other) const {
      return client == other.client && policy == other.policy;
    }
    std::string client;
    std::string policy;
    size_t hash = 0;
  };
  struct KeyHash {
    size_t operator()(const Key& key) const { return key.hash; }
  };
  struct Position {
    size_t client;
    size_t group;
  };

  std::vector<DPAClient>& m_clients;
  std::unordered_map<Key, Position, KeyHash> m_positions;
  Key m_probe;  // reused by Find, so that look-ups allocate nothing
};

#endif  // OLB_MODEL_CLIENT_POLICY_INDEX_H_
