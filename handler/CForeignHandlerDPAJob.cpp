#include "handler/CForeignHandlerDPA.h"

bool CForeignHandlerDPA::DiscoverJobs(CWzMessageBase*) { return false; }

void CForeignHandlerDPA::FindClientAndPolicy(std::string, std::string, DPAClient*&, DPAGroup*&) {}
