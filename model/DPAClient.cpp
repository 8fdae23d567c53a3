#include "model/DPAClient.h"

HXAppType DPAClient::GetAppInfo(DPAGroup&, std::string&, std::string&, std::string&) { return 0; }
bool DPAClient::BuildClientHierarchy(App::ClientsList&) { return false; }
bool DPAClient::BuildKRUInfo(App::ClientInfo&) { return false; }
bool DPAClient::BuildInstanceInfo(App::KRUInfo*, HXAppType, std::string, std::string, std::string,
                                  DPAGroup&) {
  return false;
}
bool DPAClient::BuildBackupSetInfo(App::InstanceInfo*, HXAppType, std::string, std::string,
                                   std::string, DPAGroup&) {
  return false;
}
bool DPAClient::BuildSubclientInfo(App::BackupSetInfo*, HXAppType, std::string, std::string,
                                   std::string, DPAGroup&) {
  return false;
}
void DPAClient::BuildMasterServer(App::ClientInfo&) {}
void DPAClient::BuildMediaServer(App::ClientInfo&) {}
