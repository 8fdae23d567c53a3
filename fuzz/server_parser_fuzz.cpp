// The server parsers (DPA 5.8 and generic) on an arbitrary output file.
// Each adds at most one entry, the master server, whose name becomes the
// handler's server name; that entry's client record must give a valid
// message file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "collectors/DPAClientCollector.h"
#include "fuzz/FuzzSupport.h"
#include "handler/CForeignHandlerDPA.h"
#include "model/DPAClient.h"

namespace {

void CheckServerList(std::vector<DPAClient>& clients) {
  OLB_FUZZ_CHECK(clients.size() <= 1, "a server parser added more than one entry");
  if (clients.empty()) return;
  OLB_FUZZ_CHECK(clients[0].MasterServer(), "the server entry is not the master server");
  OLB_FUZZ_CHECK(clients[0].ClientName() == CForeignHandlerDPA::GetServerName(),
                 "the server name was not recorded");
  App::ClientsList list;
  OLB_FUZZ_CHECK(clients[0].BuildClientHierarchy(list), "the server's record failed");
  olbfuzz::CheckMessageXml(list);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  olbfuzz::Init();
  std::string path = olbfuzz::WriteInput("olb_dpa_server.txt", data, size);

  CForeignHandlerDPA::SetServerName("");
  {
    CDPAServerCollectorV58_ORACLE collector;
    std::vector<DPAClient> clients;
    OLB_FUZZ_CHECK(collector._ParseData(&clients, path), "the 5.8 server parser failed");
    CheckServerList(clients);
  }
  CForeignHandlerDPA::SetServerName("");
  {
    CDPAServerCollector collector;
    std::vector<DPAClient> clients;
    OLB_FUZZ_CHECK(collector._ParseData(&clients, path), "the generic server parser failed");
    CheckServerList(clients);
    if (!clients.empty()) {
      OLB_FUZZ_CHECK(clients[0].ClientName().find(':') == std::string::npos,
                     "the generic server name holds a ':'");
    }
  }
  return 0;
}
