// The tape libraries and drives that media discovery reads from the DPA
// datastore: DPADrive (one tape device), DPALibrary (one jukebox with its
// drives) and DPALibraryInformation (every library of one run, by name).
// Each library becomes one item of the library message.
#ifndef OLB_MODEL_DPA_LIBRARY_H_
#define OLB_MODEL_DPA_LIBRARY_H_

#include <map>
#include <string>
#include <vector>

#include "host/Messages.h"

class DPADrive {
 public:
  DPADrive() = default;

  void setDriveName(const std::string& name) { m_driveName = name; }
  void setDrivePath(const std::string& path) { m_drivePath = path; }
  void setDriveType(const std::string& type) { m_driveType = type; }
  std::string getDriveName() const { return m_driveName; }
  std::string getDriveType() const { return m_driveType; }

 private:
  std::string m_driveName;
  std::string m_drivePath;  // kept, but carried by no message
  std::string m_driveType;
};

class DPALibrary {
 public:
  DPALibrary() = default;

  void setLibName(const std::string& name) { m_libName = name; }
  void setHostName(const std::string& name) { m_hostName = name; }
  std::string getLibName() const { return m_libName; }
  std::string getHostName() const { return m_hostName; }
  std::vector<DPADrive>& getDriveList() { return m_drives; }
  const std::vector<DPADrive>& getDriveList() const { return m_drives; }

  // The model keeps no library type: always "".
  std::string getLibType() const { return std::string(); }

  // True when a drive of the same name, ASCII case ignored, is in the list.
  bool isDriveAlreadyAdded(DPADrive& drive);
  // Appends a copy unless a drive of that name is there already (the first
  // drive of a name wins).
  void addDrive(DPADrive& drive);

  int getHXLibraryType();
  // "<library>_<host>".
  std::string getHXLibraryName() const;
  size_t getNumberOfDrives() const { return m_drives.size(); }

  // Appends this library's item (with its properties, drives and host) to
  // the root's library list.
  void BuildLibrary(ZRC::ForeignLibraries& libraries);
  // Appends one drive item per drive to `item`, numbered from 1.
  void BuildDrives(ZRC::ForeignLibraryItem& item);

 private:
  std::string m_libName;
  std::string m_hostName;
  std::vector<DPADrive> m_drives;
};

class DPALibraryInformation {
 public:
  DPALibraryInformation() = default;

  // Inserts a copy under the library's name unless that name is known (the
  // first host seen for a name stays).
  void addLibrary(DPALibrary& library);
  // addLibrary, then adds the drive to the stored library of that name.
  void addDriveToLibrary(DPALibrary& library, DPADrive& drive);
  size_t getSize() const { return m_libraries.size(); }

  // One library item per library, in ascending byte order of the names.
  void BuildLibraries(ZRC::ForeignLibraries& libraries);

 private:
  std::map<std::string, DPALibrary> m_libraries;  // by library name
};

#endif  // OLB_MODEL_DPA_LIBRARY_H_
