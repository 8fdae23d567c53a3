#include "model/DPALibrary.h"

#include "handler/CForeignHandlerDPA.h"
#include "model/AsciiText.h"
#include "host/EvDebug.h"
#include "model/LibraryProperties.h"
#include "model/MessageAccess.h"

bool DPALibrary::isDriveAlreadyAdded(DPADrive& drive) {
  const std::string name = drive.getDriveName();
  for (const DPADrive& d : m_drives) {
    if (EqualsIgnoreAsciiCase(d.getDriveName(), name)) return true;
  }
  return false;
}

void DPALibrary::addDrive(DPADrive& drive) {
  if (!isDriveAlreadyAdded(drive)) m_drives.push_back(drive);
}

int DPALibrary::getHXLibraryType() {
  return CForeignHandlerDPA::_MapDPALibraryTypeToHXLibraryType(getLibType());
}

std::string DPALibrary::getHXLibraryName() const { return m_libName + "_" + m_hostName; }

void DPALibrary::BuildLibrary(ZRC::ForeignLibraries& libraries) {
  ZRC::ForeignLibraryList* list = Object(libraries, ZRC::ForeignLibraries::libraryList, true);
  List(*list, ZRC::ForeignLibraryList::items, true);
  ZRC::ForeignLibraryItem& item = Append(*list, ZRC::ForeignLibraryList::items);

  SetField(item, ZRC::ForeignLibraryItem::libraryType, getHXLibraryType());
  SetField(item, ZRC::ForeignLibraryItem::diskFlag, 0);
  SetField(item, ZRC::ForeignLibraryItem::libraryName, getHXLibraryName());

  const std::string type = LibraryTypeText(item);
  AppendInfoItems(LibraryInfoItems(item),
                  {
                      {8, kNumberValue, std::to_string(getHXLibraryType())},
                      {1, kTextValue, "Library Migrated From EMC Data Protection Advisor"},
                      {2, kTextValue, "Unknown"},
                      {3, kTextValue, "Unknown"},
                      {4, kTextValue, type},
                      {5, kTextValue, "Unknown"},
                      {21, kNumberValue, std::to_string(getNumberOfDrives())},
                      {17, kNumberValue, type},
                  });

  BuildDrives(item);
  AppendServerHost(item);
}

void DPALibrary::BuildDrives(ZRC::ForeignLibraryItem& item) {
  int driveNumber = 1;
  for (const DPADrive& drive : m_drives) {
    ZRC::ForeignDriveItem& driveItem = AppendDriveItem(item);
    AppendInfoItems(DriveInfoItems(driveItem),
                    {
                        {158, kNumberValue, LibraryTypeText(item)},
                        {151, kTextValue, drive.getDriveName()},
                        {152, kTextValue, drive.getDriveType()},
                        {153, kTextValue, drive.getDriveType()},
                        {157, kNumberValue, std::to_string(driveNumber)},
                        {159, kTextValue, CForeignHandlerDPA::GetServerName()},
                    });
    ++driveNumber;
  }
}

void DPALibraryInformation::addLibrary(DPALibrary& library) {
  m_libraries.emplace(library.getLibName(), library);
}

void DPALibraryInformation::addDriveToLibrary(DPALibrary& library, DPADrive& drive) {
  addLibrary(library);
  m_libraries[library.getLibName()].addDrive(drive);
}

void DPALibraryInformation::BuildLibraries(ZRC::ForeignLibraries& libraries) {
  EvDebug log;
  for (auto& [key, library] : m_libraries) {
    log.DebugLvl("DPALibraryInformation::BuildLibrary", 3, "Building library [%s]", key.c_str());
    library.BuildLibrary(libraries);
  }
}
