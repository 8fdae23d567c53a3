#include "model/LibraryProperties.h"

#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "model/MessageAccess.h"

void AppendInfoItem(ZRC::InfoItemList& list, long long key, long long valueType,
                    const std::string& value) {
  ZRC::InfoItem item;
  SetField(item, ZRC::InfoItem::key, key);
  SetField(item, ZRC::InfoItem::valueType, valueType);
  SetField(item, ZRC::InfoItem::value, value);
  Append(list, ZRC::InfoItemList::items, item);
}

void AppendInfoItems(ZRC::InfoItemList& list, std::initializer_list<LibraryProperty> properties) {
  for (const LibraryProperty& p : properties) {
    AppendInfoItem(list, p.key, p.valueType, p.value);
  }
}

ZRC::InfoItemList& LibraryInfoItems(ZRC::ForeignLibraryItem& item) {
  return *Object(item, ZRC::ForeignLibraryItem::infoItems);
}

ZRC::InfoItemList& DriveInfoItems(ZRC::ForeignDriveItem& drive) {
  return *Object(drive, ZRC::ForeignDriveItem::infoItems);
}

ZRC::ForeignDriveItem& AppendDriveItem(ZRC::ForeignLibraryItem& item) {
  ZRC::ForeignDriveList* drives = Object(item, ZRC::ForeignLibraryItem::drives);
  return Append(*drives, ZRC::ForeignDriveList::items);
}

void AppendServerHost(ZRC::ForeignLibraryItem& item) {
  const std::string server = CForeignHandlerDPA::GetServerName();
  ZRC::ForeignLibraryHost host;
  SetField(host, ZRC::ForeignLibraryHost::hostName, server);
  SetField(host, ZRC::ForeignLibraryHost::hostLabel, server);
  SetField(host, ZRC::ForeignLibraryHost::firstOption, 0);
  SetField(host, ZRC::ForeignLibraryHost::secondOption, 0);
  SetField(host, ZRC::ForeignLibraryHost::activeFlag, 1);
  SetField(host, ZRC::ForeignLibraryHost::detailText, "Not Applicable");
  ZRC::ForeignLibraryHostList* hosts = Object(item, ZRC::ForeignLibraryItem::hosts);
  Append(*hosts, ZRC::ForeignLibraryHostList::items, host);
}

std::string LibraryTypeText(const ZRC::ForeignLibraryItem& item) {
  return std::to_string(GetInt(item, ZRC::ForeignLibraryItem::libraryType));
}
