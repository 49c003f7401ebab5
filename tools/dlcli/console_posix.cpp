#include <unistd.h>

#include "tools/dlcli/console.h"

namespace dlcli {

bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace dlcli
