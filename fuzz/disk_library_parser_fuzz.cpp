// The disk library parser on an arbitrary output file.
#include "fuzz/FuzzSupport.h"

OLB_FUZZ_TARGET(DiskLibraryParser)
