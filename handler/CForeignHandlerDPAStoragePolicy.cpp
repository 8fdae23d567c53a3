// DiscoverStoragePolicies: the one default storage policy under which every
// migrated job is filed, with its primary copy and the data path to the
// default disk library.
#include "handler/CForeignHandlerDPA.h"
#include "host/EvDebug.h"
#include "host/HxUtil.h"
#include "model/MessageAccess.h"

void BuildDefaultSP(ZRC::StoragePolicyList& list) {
  ZRC::StoragePolicy policy;
  const std::string description = "Default policy created by Outland Bridge agent";
  SetField(policy, ZRC::StoragePolicy::name, CForeignHandlerDPA::GenerateDefaultSPName());
  SetField(policy, ZRC::StoragePolicy::primaryCopyName, "PrimaryCopy");
  SetField(policy, ZRC::StoragePolicy::snapCopyName, "SnapCopy");
  SetField(policy, ZRC::StoragePolicy::value5, 5);
  SetField(policy, ZRC::StoragePolicy::value8, 0);
  SetField(policy, ZRC::StoragePolicy::timeZone, GetTimeZoneDisplayNameA());

  ZRC::StoragePolicyCopy copy;
  SetField(copy, ZRC::StoragePolicyCopy::storagePolicyName,
           GetString(policy, ZRC::StoragePolicy::name));
  SetField(copy, ZRC::StoragePolicyCopy::value2, 1);
  SetField(copy, ZRC::StoragePolicyCopy::copyName, "PrimaryCopy");
  SetField(copy, ZRC::StoragePolicyCopy::value4, 0);
  SetField(copy, ZRC::StoragePolicyCopy::value6, 1);
  SetField(copy, ZRC::StoragePolicyCopy::value7, 1);
  SetField(copy, ZRC::StoragePolicyCopy::value8, 0);
  SetField(copy, ZRC::StoragePolicyCopy::value10, 0);
  SetField(copy, ZRC::StoragePolicyCopy::value11, 0);
  SetField(copy, ZRC::StoragePolicyCopy::description,
           "Default primary copy created by Outland Bridge agent");
  SetField(copy, ZRC::StoragePolicyCopy::value14, -1);
  SetField(copy, ZRC::StoragePolicyCopy::value5, 0);
  SetField(copy, ZRC::StoragePolicyCopy::value9, 1);

  SetField(policy, ZRC::StoragePolicy::value4, 1);
  SetField(policy, ZRC::StoragePolicy::value7, 0);

  ZRC::StoragePolicyDataPath path;
  SetField(path, ZRC::StoragePolicyDataPath::storagePolicyName,
           GetString(policy, ZRC::StoragePolicy::name));
  SetField(path, ZRC::StoragePolicyDataPath::copyName, "PrimaryCopy");
  SetField(path, ZRC::StoragePolicyDataPath::libraryName,
           CForeignHandlerDPA::GenerateDefaultLibraryName());
  SetField(path, ZRC::StoragePolicyDataPath::value6, 0);
  SetField(path, ZRC::StoragePolicyDataPath::value7, 1);
  SetField(path, ZRC::StoragePolicyDataPath::value8, 1);
  SetField(path, ZRC::StoragePolicyDataPath::value9, 0);
  SetField(path, ZRC::StoragePolicyDataPath::value12, 0);
  SetField(path, ZRC::StoragePolicyDataPath::value3, "None");
  SetField(path, ZRC::StoragePolicyDataPath::serverName, CForeignHandlerDPA::GetServerName());
  SetField(path, ZRC::StoragePolicyDataPath::value10, 0);
  SetField(path, ZRC::StoragePolicyDataPath::value11, 0);

  // Lists hold copies: each object is complete before it is appended.
  Append(copy, ZRC::StoragePolicyCopy::dataPaths, path);
  Append(policy, ZRC::StoragePolicy::copies, copy);
  SetField(policy, ZRC::StoragePolicy::description, description);
  Append(list, ZRC::StoragePolicyList::policies, policy);
}

bool CForeignHandlerDPA::DiscoverStoragePolicies(CWzMessageBase*) {
  EvDebug log;
  ZRC::StoragePolicyList list;
  SetField(list, ZRC::StoragePolicyList::hubfieldName, GenerateHubfieldName());
  SetField(list, ZRC::StoragePolicyList::flags, 0);
  BuildDefaultSP(list);
  if (!DumpXmlMsgToFile(&list, 0, false)) {
    log.Debug("CForeignHandlerDPA::DiscoverStoragePolicies", "Unable to dump storage policy file");
    return false;
  }
  return true;
}
