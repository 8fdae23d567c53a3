// DPADiskLibrary: one disk pool volume of the DPA datastore. In the host's
// model it becomes a disk library with a single drive (BuildDiskLib) and one
// disk media listing the ids of the jobs written to the pool (BuildDiskMedia).
#ifndef OLB_MODEL_DPA_DISK_LIBRARY_H_
#define OLB_MODEL_DPA_DISK_LIBRARY_H_

#include <string>
#include <utility>
#include <vector>

#include "host/Messages.h"

class DPADiskLibrary {
 public:
  DPADiskLibrary() = default;

  void Name(std::string name) { m_name = std::move(name); }
  void Mountpath(std::string path) { m_mountPath = std::move(path); }
  void Volumeid(std::string id) { m_volumeId = std::move(id); }
  std::string Name() const { return m_name; }
  std::string Mountpath() const { return m_mountPath; }
  std::string Volumeid() const { return m_volumeId; }

  // Appends this disk library's item to `list`; always true.
  bool BuildDiskLib(ZRC::ForeignLibraryList& list);
  // Appends this disk library's media to `list`, with one property per job
  // id; always true.
  bool BuildDiskMedia(ZRC::ForeignMediaList& list, const std::vector<std::string>& jobIds);

 private:
  std::string m_name;       // pool name
  std::string m_mountPath;  // volume path
  std::string m_volumeId;
};

#endif  // OLB_MODEL_DPA_DISK_LIBRARY_H_
