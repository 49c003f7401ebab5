// The task file beside a download, with any content: reading it never crashes, and what the
// writer makes of the plan it read reads back to the very same plan (a resume after a resume
// sees what the first one saw).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include <easylogging++.h>

#include "download/task_manager.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

std::string Reread(const std::string& taskFile, const std::string& text) {
  platform::WriteFileAtomically(platform::AnsiToWide(taskFile), text);
  download::CDownloadTaskManager plan("http://127.0.0.1:1/f.bin", "/tmp/kerfo-fuzz-task.bin",
                                      taskFile);
  plan.loadTaskFromFile(0);
  return plan.taskFileText();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Every broken input logs a line; printing them would cost more than the parse.
  el::Loggers::reconfigureAllLoggers(el::ConfigurationType::ToStandardOutput, "false");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The writer flushes every file to the disk; memory-backed files keep the runs fast.
  static const std::string base =
      std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/kerfo-fuzz-task-" +
      std::to_string(::getpid());
  static const std::string first = base + ".xml";
  static const std::string second = base + "-again.xml";
  const std::string written = Reread(first, std::string(reinterpret_cast<const char*>(data), size));
  if (Reread(second, written) != written) __builtin_trap();
  return 0;
}
