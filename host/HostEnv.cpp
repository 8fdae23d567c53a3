#include "host/HostEnv.h"

#include <unistd.h>

#include <algorithm>

#include "host/EvDebug.h"

HostEnv& HostEnv::Get() {
  static HostEnv env;
  return env;
}

void HostEnv::AddSecret(const std::string& secret) {
  if (secret.empty() || std::find(secrets.begin(), secrets.end(), secret) != secrets.end()) return;
  secrets.push_back(secret);
  // A longer secret first, so that one holding a shorter one is masked whole.
  std::sort(secrets.begin(), secrets.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

std::string HostEnv::Masked(std::string text) const {
  for (const std::string& secret : secrets) {
    for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 8)) {
      text.replace(at, secret.size(), "********");
    }
  }
  return text;
}

void HostEnv::Reset() {
  CloseDebugLog();
  if (!scratchDir.empty() && scratchOwner == static_cast<long>(getpid())) {
    rmdir(scratchDir.c_str());  // only when empty: a script still in use stays
  }
  *this = HostEnv();
}
