// The default disk library: the first item of every library message, under
// which migrated media are filed when nothing better is known.
#include "handler/CForeignHandlerDPA.h"
#include "model/LibraryProperties.h"
#include "model/MessageAccess.h"

void CForeignHandlerDPA::BuildDefaultLibrary(ZRC::ForeignLibraries& libraries) {
  const std::string server = GetServerName();
  ZRC::ForeignLibraryList* list = Object(libraries, ZRC::ForeignLibraries::libraryList);
  ZRC::ForeignLibraryItem& item = Append(*list, ZRC::ForeignLibraryList::items);

  SetField(item, ZRC::ForeignLibraryItem::markerText, "1");
  SetField(item, ZRC::ForeignLibraryItem::libraryName, GenerateDefaultLibraryName());
  SetField(item, ZRC::ForeignLibraryItem::diskFlag, 1);
  SetField(item, ZRC::ForeignLibraryItem::libraryType, 3);

  ZRC::ForeignDriveItem& drive = AppendDriveItem(item);
  AppendInfoItems(DriveInfoItems(drive), {
                                             {158, kNumberValue, "3"},
                                             {151, kTextValue, "@aaab"},
                                             {152, kTextValue, "Magnetic"},
                                             {153, kTextValue, "Generic disk volume"},
                                             {154, kTextValue, "Magnetic"},
                                             {155, kTextValue, "@aaab"},
                                             {157, kNumberValue, "1"},
                                             {159, kTextValue, server},
                                         });

  AppendInfoItems(LibraryInfoItems(item),
                  {
                      {161, kNumberValue, "1"},
                      {8, kNumberValue, "3"},
                      {1, kTextValue, "Default Media Library created for EMC Networker"},
                      {11, kTextValue, "(unknown)"},
                      {14, kTextValue, "(unknown)"},
                      {15, kFlagValue, "0"},
                      {16, kFlagValue, "0"},
                      {2, kTextValue, "Magnetic"},
                      {3, kTextValue, "Magnetic"},
                      {4, kTextValue, "Magnetic"},
                      {5, kTextValue, "Magnetic"},
                      {7, kTextValue, "{0,0,0,0}"},
                      {17, kNumberValue, "4"},
                  });

  // The default library's host: fields in this order, and no detail text.
  ZRC::ForeignLibraryHostList* hosts = Object(item, ZRC::ForeignLibraryItem::hosts);
  Append(*hosts, ZRC::ForeignLibraryHostList::items);
  ZRC::ForeignLibraryHost& host = List(*hosts, ZRC::ForeignLibraryHostList::items)->back();
  SetField(host, ZRC::ForeignLibraryHost::firstOption, 0);
  SetField(host, ZRC::ForeignLibraryHost::secondOption, 0);
  SetField(host, ZRC::ForeignLibraryHost::activeFlag, 1);
  SetField(host, ZRC::ForeignLibraryHost::hostName, server);
  SetField(host, ZRC::ForeignLibraryHost::hostLabel, server);
  SetField(host, ZRC::ForeignLibraryHost::detailText, "");
}
