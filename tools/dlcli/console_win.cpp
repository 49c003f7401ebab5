#include <io.h>
#include <stdio.h>

#include "tools/dlcli/console.h"

namespace dlcli {

bool StdoutIsTerminal() { return ::_isatty(::_fileno(stdout)) != 0; }

}  // namespace dlcli
