#include "handler/CForeignHandlerDPA.h"

bool CForeignHandlerDPA::DiscoverMedia(CWzMessageBase*) { return false; }
