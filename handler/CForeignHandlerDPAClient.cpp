// DiscoverClients: the master server, the clients and their policies, as one
// client list message.
#include <memory>

#include "collectors/DPAClientCollector.h"
#include "handler/CForeignHandlerDPA.h"
#include "host/EvDebug.h"

bool CForeignHandlerDPA::DiscoverClients(CWzMessageBase*) {
  EvDebug log(nullptr);
  const char* context = "CForeignHandlerDPA::DiscoverClients";
  bool result = true;

  // Each run describes the datastore as it is now; entries of an earlier run
  // on this handler would otherwise be listed (and matched by jobs) twice,
  // and a server that is gone would still name the Hubfield.
  m_clients.clear();
  SetServerName("");

  // Order matters: the server entry comes first, and groups are attached
  // only to clients already in the list.
  std::unique_ptr<CDPAServerCollectorV58_ORACLE> server(new CDPAServerCollectorV58_ORACLE());
  server->setDBContext(m_dbContext);
  if (!server->FetchData(&m_clients)) {
    log.Debug(context, "failed to collect server data");
    return false;
  }

  std::unique_ptr<CDPAClientCollectorV58_ORACLE> clients(new CDPAClientCollectorV58_ORACLE());
  clients->setDBContext(m_dbContext);
  if (!clients->FetchData(&m_clients)) {
    log.Debug(context, "failed to collect client data");
    return false;
  }

  std::unique_ptr<CDPAGroupCollectorV58_ORACLE> groups(new CDPAGroupCollectorV58_ORACLE());
  groups->setDBContext(m_dbContext);
  if (!groups->FetchData(&m_clients)) {
    log.Debug(context, "failed to collect group data");
    return false;
  }

  App::ClientsList list;
  for (DPAClient& client : m_clients) {
    if (!client.BuildClientHierarchy(list)) {
      log.Debug(context, "failed to create client hierarchy for client [%s]",
                client.ClientName().c_str());
      result = false;
      break;
    }
  }

  if (result && !DumpXmlMsgToFile(&list, 0, false)) {
    log.Debug(context, "client hierarchy was created but dump to xml failed");
    result = false;
  }
  return result;
}
