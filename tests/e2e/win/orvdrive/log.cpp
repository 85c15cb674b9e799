// orvdrive's log: one JSON object a line, flushed at once, so that the harness reads what
// happened even when orvdrive is killed.
#include "driver.h"

namespace orvdrive {

// Every line carries "ms": milliseconds since orvdrive started, as a last field.
void Driver::Log(const std::string& line) {
  if (!logFile) return;
  std::string stamped = line;
  if (!stamped.empty() && stamped.back() == '}')
    stamped.insert(stamped.size() - 1, std::string(stamped.size() > 2 ? "," : "") + "\"ms\":" +
                                           std::to_string((unsigned long)(GetTickCount() - startTick)));
  fputs(stamped.c_str(), logFile);
  fputc('\n', logFile);
  fflush(logFile);
}

}  // namespace orvdrive
