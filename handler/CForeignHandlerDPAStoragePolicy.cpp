#include "handler/CForeignHandlerDPA.h"

bool CForeignHandlerDPA::DiscoverStoragePolicies(CWzMessageBase*) { return false; }
