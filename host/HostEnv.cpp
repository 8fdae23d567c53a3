#include "host/HostEnv.h"

#include "host/EvDebug.h"

HostEnv& HostEnv::Get() {
  static HostEnv env;
  return env;
}

void HostEnv::Reset() {
  CloseDebugLog();
  *this = HostEnv();
}
