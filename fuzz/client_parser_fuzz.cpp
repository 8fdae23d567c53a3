// The client parser on an arbitrary output file: one client per line that
// ends with ',', appended behind what the list held; the client list
// message built from the result must give a valid message file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "collectors/DPAClientCollector.h"
#include "fuzz/FuzzSupport.h"
#include "model/DPAClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  olbfuzz::Init();
  std::string path = olbfuzz::WriteInput("olb_dpa_node.txt", data, size);

  std::vector<DPAClient> clients(1);
  clients[0].ClientName("dpa-ds01");
  clients[0].MasterServer(true);
  CDPAClientCollector collector;
  OLB_FUZZ_CHECK(collector._ParseData(&clients, path), "the client parser failed");

  size_t lineEnds = 0;
  for (size_t i = 0; i < size; ++i) lineEnds += data[i] == '\n';
  OLB_FUZZ_CHECK(clients.size() <= lineEnds + 2, "more clients than lines");
  OLB_FUZZ_CHECK(clients[0].ClientName() == "dpa-ds01" && clients[0].MasterServer(),
                 "the server entry changed");
  for (size_t i = 1; i < clients.size(); ++i) {
    OLB_FUZZ_CHECK(!clients[i].MasterServer(), "a client is marked as master server");
    OLB_FUZZ_CHECK(clients[i].Policylist().empty(), "a new client has policies");
  }

  App::ClientsList list;
  for (DPAClient& client : clients) {
    OLB_FUZZ_CHECK(client.BuildClientHierarchy(list), "a client record failed");
  }
  olbfuzz::CheckMessageXml(list);
  return 0;
}
