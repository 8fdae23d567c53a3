// The message reader on an arbitrary document.
#include "fuzz/FuzzSupport.h"

OLB_FUZZ_TARGET(XmlReader)
