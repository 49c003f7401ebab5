// A report as a collector sees it, split back into what its sender stored and the task id the
// sender added for the collector to count it by: the "task_id" first member of a document, the
// "&ep.task_id=" parameter at the end of a GA4 hit's address.
#pragma once

#include <string>

namespace testsupport {

struct ReportWire {
  std::string report;  // the stored payload
  std::string taskId;  // empty when the wire form carried none
};

inline ReportWire SplitTaskId(const std::string& wire) {
  ReportWire out{wire, std::string()};
  const size_t param = wire.find("&ep.task_id=");
  if (param != std::string::npos) {
    out.report = wire.substr(0, param);
    out.taskId = wire.substr(param + 12);
    return out;
  }
  const std::string member = "{\"task_id\":\"";
  const size_t at = wire.find(member);
  if (at == std::string::npos || wire.find_first_not_of(" \t\r\n") != at) return out;
  const size_t end = wire.find('"', at + member.size());
  if (end == std::string::npos) return out;
  out.taskId = wire.substr(at + member.size(), end - at - member.size());
  const size_t rest = end + 1 < wire.size() && wire[end + 1] == ',' ? end + 2 : end + 1;
  out.report = wire.substr(0, at + 1) + wire.substr(rest);
  return out;
}

}  // namespace testsupport
