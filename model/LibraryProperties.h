// Helpers shared by the library and media builders: appending key/value
// property items (ZRC::InfoItem) and the host entry that tape and disk
// libraries carry.
#ifndef OLB_MODEL_LIBRARY_PROPERTIES_H_
#define OLB_MODEL_LIBRARY_PROPERTIES_H_

#include <initializer_list>
#include <string>

#include "host/Messages.h"

// Value types of a property item, as the host's library reads them.
constexpr long long kNumberValue = 1;
constexpr long long kFlagValue = 2;
constexpr long long kTextValue = 3;

// One property: key number, value type and value text.
struct LibraryProperty {
  long long key;
  long long valueType;
  std::string value;
};

// Builds one ZRC::InfoItem (key, value type, value, set in that order) as a
// local message and appends a copy of it to `list`.
void AppendInfoItem(ZRC::InfoItemList& list, long long key, long long valueType,
                    const std::string& value);

// Appends every property of `properties`, in order.
void AppendInfoItems(ZRC::InfoItemList& list, std::initializer_list<LibraryProperty> properties);

// The property list of a library item, or of a drive item (created when not
// yet set).
ZRC::InfoItemList& LibraryInfoItems(ZRC::ForeignLibraryItem& item);
ZRC::InfoItemList& DriveInfoItems(ZRC::ForeignDriveItem& drive);

// Appends a fresh drive item to the library item's drive list and returns it.
ZRC::ForeignDriveItem& AppendDriveItem(ZRC::ForeignLibraryItem& item);

// Appends the host entry of a tape or disk library: the DPA server's name as
// host name and label, options 0 and 0, active, detail "Not Applicable".
void AppendServerHost(ZRC::ForeignLibraryItem& item);

// The item's library type read back from the item, as decimal text.
std::string LibraryTypeText(const ZRC::ForeignLibraryItem& item);

#endif  // OLB_MODEL_LIBRARY_PROPERTIES_H_
