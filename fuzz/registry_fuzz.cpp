// The registry reader and DiscoverConfig on an arbitrary registry file.
#include "fuzz/FuzzSupport.h"

OLB_FUZZ_TARGET(Registry)
