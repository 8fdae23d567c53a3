#include "model/DPADiskLibrary.h"

#include "handler/CForeignHandlerDPA.h"
#include "host/EvDebug.h"
#include "model/LibraryProperties.h"
#include "model/MessageAccess.h"

bool DPADiskLibrary::BuildDiskLib(ZRC::ForeignLibraryList& list) {
  ZRC::ForeignLibraryItem& item = Append(list, ZRC::ForeignLibraryList::items);
  SetField(item, ZRC::ForeignLibraryItem::libraryType, 3);
  SetField(item, ZRC::ForeignLibraryItem::diskFlag, 1);
  SetField(item, ZRC::ForeignLibraryItem::libraryName, m_name);

  AppendInfoItems(LibraryInfoItems(item),
                  {
                      {8, kNumberValue, "3"},
                      {1, kTextValue, "Library Migrated From EMC Data Protection Advisor"},
                      {2, kTextValue, "Magnetic"},
                      {3, kTextValue, "Magnetic"},
                      {4, kTextValue, LibraryTypeText(item)},
                      {5, kTextValue, "Magnetic"},
                      {7, kTextValue, "{0,0,0,0}"},
                      {17, kNumberValue, "4"},
                      {11, kTextValue, m_mountPath},
                      {14, kTextValue, m_mountPath},
                  });

  ZRC::ForeignDriveItem& drive = AppendDriveItem(item);
  AppendInfoItems(DriveInfoItems(drive),
                  {
                      {158, kNumberValue, "3"},
                      {151, kTextValue, m_volumeId},
                      {152, kTextValue, "Magnetic"},
                      {153, kTextValue, "Generic disk volume"},
                      {154, kTextValue, "Magnetic"},
                      {155, kTextValue, m_volumeId},
                      {157, kNumberValue, "1"},
                      {159, kTextValue, CForeignHandlerDPA::GetServerName()},
                  });

  AppendServerHost(item);
  return true;
}

bool DPADiskLibrary::BuildDiskMedia(ZRC::ForeignMediaList& list,
                                    const std::vector<std::string>& jobIds) {
  EvEvent log;
  log.DebugLvl("NWKLibrary::BuildMedia", 4, "Building disk media info for library [%s]",
               m_name.c_str());

  List(list, ZRC::ForeignMediaList::items)->push_back(ZRC::ForeignMediaItem());
  const auto& field = ZRC::ForeignMediaList::items;
  ZRC::ForeignMediaItem& media = list.getlistobject<ZRC::ForeignMediaItem>(
                                         field.number, field.type, kWzMsgId1, kWzMsgId2, false)
                                     ->back();

  SetField(media, ZRC::ForeignMediaItem::mediaKind, 2);
  SetField(media, ZRC::ForeignMediaItem::mountPath, m_mountPath);
  SetField(media, ZRC::ForeignMediaItem::mediaName, m_name);

  ZRC::InfoItemList& properties = *Object(media, ZRC::ForeignMediaItem::infoItems);
  AppendInfoItems(properties, {
                                  {208, kFlagValue, "0"},
                                  {200, kTextValue, "Media migrated from DPA"},
                                  {209, kFlagValue, "0"},
                                  {11, kTextValue, m_mountPath},
                                  {201, kNumberValue, "2"},
                                  {207, kTextValue, m_mountPath},
                              });
  for (const std::string& jobId : jobIds) AppendInfoItem(properties, 203, kTextValue, jobId);
  return true;
}
