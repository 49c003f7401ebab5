// Process entry of the native build: the arguments joined back into one command-line text, as
// the Windows entry receives it.
#include <string>

#include "app/startup.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return app::RunInstaller(platform::AnsiToWide(line));
}
