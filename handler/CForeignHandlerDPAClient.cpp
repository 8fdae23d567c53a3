// DiscoverClients: the master server, the clients and their policies, as one
// client list message.
#include <memory>
#include <string>
#include <vector>

#include "collectors/DPAClientCollector.h"
#include "handler/CForeignHandlerDPA.h"
#include "host/EvDebug.h"

bool CForeignHandlerDPA::DiscoverClients(CWzMessageBase*) {
  EvDebug log(nullptr);
  const char* context = "CForeignHandlerDPA::DiscoverClients";

  // Each run describes the datastore as it is now, so it collects into a
  // fresh list (no entry of an earlier run is listed or matched twice) and
  // starts without a server name (a server that is gone no longer names the
  // Hubfield). The handler takes the new list and name only when the whole
  // operation succeeds: a failed run leaves what the last good one left.
  std::vector<DPAClient> collected;
  const std::string previousServer = GetServerName();
  SetServerName("");
  auto fail = [&](const char* what) {
    log.Debug(context, "%s", what);
    SetServerName(previousServer);
    return false;
  };

  // Order matters: the server entry comes first, and groups are attached
  // only to clients already in the list.
  std::unique_ptr<CDPAServerCollectorV58_ORACLE> server(new CDPAServerCollectorV58_ORACLE());
  server->setDBContext(m_dbContext);
  if (!server->FetchData(&collected)) return fail("failed to collect server data");

  std::unique_ptr<CDPAClientCollectorV58_ORACLE> clients(new CDPAClientCollectorV58_ORACLE());
  clients->setDBContext(m_dbContext);
  if (!clients->FetchData(&collected)) return fail("failed to collect client data");

  std::unique_ptr<CDPAGroupCollectorV58_ORACLE> groups(new CDPAGroupCollectorV58_ORACLE());
  groups->setDBContext(m_dbContext);
  if (!groups->FetchData(&collected)) return fail("failed to collect group data");

  App::ClientsList list;
  for (DPAClient& client : collected) {
    if (!client.BuildClientHierarchy(list)) {
      log.Debug(context, "failed to create client hierarchy for client [%s]",
                client.ClientName().c_str());
      SetServerName(previousServer);
      return false;
    }
  }

  if (!DumpXmlMsgToFile(&list, 0, false)) {
    return fail("client hierarchy was created but dump to xml failed");
  }
  m_clients.swap(collected);
  return true;
}
