// EvDebug and EvEvent: the platform's debug log. Each line carries the time,
// the process id, the level, the caller's context and the printf-style text;
// DebugLvl lines are written only up to the host's debug level.
#ifndef OLB_HOST_EV_DEBUG_H_
#define OLB_HOST_EV_DEBUG_H_

#include <cstdarg>

class EvDebugFileInstance;

#define OLB_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))

class EvDebug {
 public:
  explicit EvDebug(EvDebugFileInstance* instance = nullptr);
  virtual ~EvDebug();

  void Debug(const char* context, const char* format, ...) OLB_PRINTF_FORMAT(3, 4);
  void Error(const char* context, const char* format, ...) OLB_PRINTF_FORMAT(3, 4);
  void DebugLvl(const char* context, int level, const char* format, ...)
      OLB_PRINTF_FORMAT(4, 5);

 protected:
  void Write(const char* levelName, int level, const char* context, const char* format,
             va_list args);
};

// The event logger; used like EvDebug through DebugLvl.
class EvEvent : public EvDebug {
 public:
  EvEvent() : EvDebug(nullptr) {}
};

// Closes the debug log file; the next line opens HostEnv::logFile again.
// HostEnv::Reset calls it.
void CloseDebugLog();

#endif  // OLB_HOST_EV_DEBUG_H_
