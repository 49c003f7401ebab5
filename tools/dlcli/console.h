// What dlcli needs of its console: whether standard output is a terminal, and the program's
// arguments as wide text. Thread-safe.
#pragma once

#include <string>
#include <vector>

namespace dlcli {

bool StdoutIsTerminal();

}  // namespace dlcli
