#include "handler/CForeignHandlerDPA.h"

bool CForeignHandlerDPA::DiscoverClients(CWzMessageBase*) { return false; }
