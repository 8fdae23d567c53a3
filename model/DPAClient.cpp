#include "model/DPAClient.h"

#include "handler/CForeignHandlerDPA.h"
#include "host/EvDebug.h"
#include "host/HxUtil.h"
#include "model/MessageAccess.h"

namespace {

// Entity types of App::ComponentInfo.
const long long kClientComponent = 3;
const long long kMediaServerComponent = 11;

App::ComponentInfo MakeComponent(long long entityType) {
  App::ComponentInfo component;
  SetField(component, App::ComponentInfo::text2, "N/A");
  SetField(*Object(component, App::ComponentInfo::entity), ComponentEntity::entityType,
           entityType);
  return component;
}

}  // namespace

HXAppType DPAClient::GetAppInfo(DPAGroup&, std::string& appName, std::string& backupSetName,
                                std::string& instanceName) {
  appName = "Other External Agent";
  backupSetName = "defaultBackupSet";
  instanceName = "defaultInstanceName";
  return 130;
}

bool DPAClient::BuildClientHierarchy(App::ClientsList& list) {
  EvEvent log;
  const char* context = "DPAClient::BuildClientHierarchy";

  App::ClientInfo& clientInfo = Append(list, App::ClientsList::clients);
  App::ClientDetail* detail = Object(clientInfo, App::ClientInfo::detail);
  SetField(*detail, App::ClientDetail::description, "Data Protection Advisor Client");
  SetField(*detail, App::ClientDetail::text3, "2");
  SetField(*detail, App::ClientDetail::value11, 8600);
  SetField(*detail, App::ClientDetail::value10, 8602);
  SetField(*detail, App::ClientDetail::value12, 2);

  ClientEntity* entity = Object(*detail, App::ClientDetail::entity);
  SetField(*entity, ClientEntity::clientName, m_clientName);
  SetField(*entity, ClientEntity::hostName, m_clientName);

  Append(*detail, App::ClientDetail::components, MakeComponent(kClientComponent));
  CForeignHandlerDPA::PopulateOsInfo(Object(*detail, App::ClientDetail::osInfo));

  BuildMasterServer(clientInfo);
  BuildMediaServer(clientInfo);

  log.DebugLvl(context, 4, "Building KRU information for client[%s]", m_clientName.c_str());
  bool built = BuildKRUInfo(clientInfo);
  if (!built) {
    log.DebugLvl(context, 0, "Failed to build KRU Information for client[%s]",
                 m_clientName.c_str());
  }
  return built;
}

bool DPAClient::BuildKRUInfo(App::ClientInfo& clientInfo) {
  bool result = true;
  App::ClientDetail* detail = Object(clientInfo, App::ClientInfo::detail);
  for (DPAGroup& group : m_policyList) {
    std::string appName;
    std::string backupSetName;
    std::string instanceName;
    HXAppType appType = GetAppInfo(group, appName, backupSetName, instanceName);

    std::vector<App::KRUInfo>* kruList = List(*detail, App::ClientDetail::kruList);
    App::KRUInfo* kru = nullptr;
    for (App::KRUInfo& candidate : *kruList) {
      AppEntity* app = FindObject(candidate, App::KRUInfo::app);
      if (app != nullptr && static_cast<HXAppType>(GetInt(*app, AppEntity::appType)) == appType) {
        kru = &candidate;
        break;
      }
    }
    if (kru == nullptr) {
      kru = &Append(*detail, App::ClientDetail::kruList);
      AppEntity* app = Object(*kru, App::KRUInfo::app);
      SetField(*app, AppEntity::appType, appType);
      SetField(*app, AppEntity::appName, appName);
      SetField(*kru, App::KRUInfo::flags, 8194);
    }
    result = BuildInstanceInfo(kru, appType, appName, backupSetName, instanceName, group);
  }
  return result;
}

bool DPAClient::BuildInstanceInfo(App::KRUInfo* kru, HXAppType appType, std::string appName,
                                  std::string backupSetName, std::string instanceName,
                                  DPAGroup& group) {
  App::InstanceInfo* instance = nullptr;
  for (App::InstanceInfo& candidate : *List(*kru, App::KRUInfo::instances)) {
    InstanceEntity* entity = FindObject(candidate, App::InstanceInfo::entity);
    if (entity != nullptr && GetString(*entity, InstanceEntity::instanceName) == instanceName) {
      instance = &candidate;
      break;
    }
  }
  if (instance == nullptr) {
    instance = &Append(*kru, App::KRUInfo::instances);
    SetField(*Object(*instance, App::InstanceInfo::entity), InstanceEntity::instanceName,
             instanceName);
  }
  return BuildBackupSetInfo(instance, appType, appName, backupSetName, instanceName, group);
}

bool DPAClient::BuildBackupSetInfo(App::InstanceInfo* instance, HXAppType appType,
                                   std::string appName, std::string backupSetName,
                                   std::string instanceName, DPAGroup& group) {
  App::BackupSetInfo* backupSet = nullptr;
  for (App::BackupSetInfo& candidate : *List(*instance, App::InstanceInfo::backupSets)) {
    BackupSetEntity* entity = FindObject(candidate, App::BackupSetInfo::entity);
    if (entity != nullptr &&
        GetString(*entity, BackupSetEntity::backupSetName) == backupSetName) {
      backupSet = &candidate;
      break;
    }
  }
  if (backupSet == nullptr) {
    // Every backup set starts with the subclient "default".
    backupSet = &Append(*instance, App::InstanceInfo::backupSets);
    SetField(*Object(*backupSet, App::BackupSetInfo::entity), BackupSetEntity::backupSetName,
             backupSetName);
    SetField(*backupSet, App::BackupSetInfo::flags, 10);
    App::SubClientInfo& subclient = Append(*backupSet, App::BackupSetInfo::subclients);
    SetField(subclient, App::SubClientInfo::flags, 8);
    SetField(*Object(subclient, App::SubClientInfo::entity), SubclientEntity::subclientName,
             "default");
  }
  return BuildSubclientInfo(backupSet, appType, appName, backupSetName, instanceName, group);
}

bool DPAClient::BuildSubclientInfo(App::BackupSetInfo* backupSet, HXAppType, std::string,
                                   std::string, std::string, DPAGroup& group) {
  // One subclient per policy, with no search: a policy attached twice gives
  // two subclients of the same name.
  App::SubClientInfo& subclient = Append(*backupSet, App::BackupSetInfo::subclients);
  SetField(subclient, App::SubClientInfo::flags, 0);
  SetField(*Object(subclient, App::SubClientInfo::entity), SubclientEntity::subclientName,
           group.PolicyName());
  return true;
}

void DPAClient::BuildMasterServer(App::ClientInfo& clientInfo) {
  if (!m_masterServer) return;
  App::ClientSettings* settings = Object(clientInfo, App::ClientInfo::settings);
  App::ClientDetail* detail = Object(clientInfo, App::ClientInfo::detail);

  SetField(*settings, App::ClientSettings::timeZoneName, GetTimeZoneDisplayNameA());
  SetField(*Object(*detail, App::ClientDetail::timeZone), TimeZoneEntity::timeZoneName,
           GetTimeZoneDisplayNameW());
  SetField(*settings, App::ClientSettings::value17, 109);

  HubfieldEntity* hubfield = Object(*settings, App::ClientSettings::hubfield);
  SetField(*hubfield, HubfieldEntity::hubfieldName, CForeignHandlerDPA::GenerateHubfieldName());
  SetField(*hubfield, HubfieldEntity::value3, 1);
  NumberEntity* option = Object(*hubfield, HubfieldEntity::option);
  SetField(*option, NumberEntity::value, 1);
  // Stored back through the library's setter; from a copy, since the field
  // being replaced holds the object itself.
  const NumberEntity optionCopy = *option;
  hubfield->setObjectAccessor(static_cast<const CWzMessageBase*>(&optionCopy),
                              HubfieldEntity::option.number, HubfieldEntity::option.type,
                              kWzMsgId1, kWzMsgId2);
}

void DPAClient::BuildMediaServer(App::ClientInfo& clientInfo) {
  if (!m_masterServer) return;
  App::ClientDetail* detail = Object(clientInfo, App::ClientInfo::detail);
  Append(*detail, App::ClientDetail::components, MakeComponent(kMediaServerComponent));
}
