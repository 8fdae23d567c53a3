// SplitLine and the parsers' field splitter on an arbitrary line.
#include "fuzz/FuzzSupport.h"

OLB_FUZZ_TARGET(SplitLine)
