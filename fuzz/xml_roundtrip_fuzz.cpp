// The message writer and reader on message trees built from the input.
#include "fuzz/FuzzSupport.h"

OLB_FUZZ_TARGET(XmlRoundTrip)
