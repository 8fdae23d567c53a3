#include "handler/CForeignHandlerDPA.h"

void CForeignHandlerDPA::BuildDefaultLibrary(ZRC::ForeignLibraries&) {}
