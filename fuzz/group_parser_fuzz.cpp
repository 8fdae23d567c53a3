// The group parser on an arbitrary output file, with a client list that
// holds the server and a few clients (two differ only in case, one name is
// there twice). Groups attach only to the first client of exactly their
// name; the client list message built from the result must give a valid
// message file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "collectors/DPAClientCollector.h"
#include "fuzz/FuzzSupport.h"
#include "model/DPAClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  olbfuzz::Init();
  std::string path = olbfuzz::WriteInput("olb_dpa_group.txt", data, size);

  const char* const kNames[] = {"dpa-ds01", "alpha", "Alpha", "bravo", "golf", "golf", ""};
  std::vector<DPAClient> clients;
  for (const char* name : kNames) {
    DPAClient client;
    client.ClientName(name);
    client.MasterServer(clients.empty());
    clients.push_back(client);
  }
  CDPAGroupCollector collector;
  OLB_FUZZ_CHECK(collector._ParseData(&clients, path), "the group parser failed");

  OLB_FUZZ_CHECK(clients.size() == sizeof kNames / sizeof kNames[0], "the client list changed");
  OLB_FUZZ_CHECK(clients[5].Policylist().empty(), "a group went to the second 'golf'");
  size_t lineEnds = 0;
  for (size_t i = 0; i < size; ++i) lineEnds += data[i] == '\n';
  size_t groups = 0;
  for (DPAClient& client : clients) groups += client.Policylist().size();
  OLB_FUZZ_CHECK(groups <= lineEnds + 1, "more groups than lines");

  App::ClientsList list;
  for (DPAClient& client : clients) {
    OLB_FUZZ_CHECK(client.BuildClientHierarchy(list), "a client record failed");
  }
  olbfuzz::CheckMessageXml(list);
  return 0;
}
