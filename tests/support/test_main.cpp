// gtest entry for every test binary: quiet logger, fresh test folders.
#include <easylogging++.h>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Tests read the log through files they configure themselves; keep the console readable.
  el::Configurations conf;
  conf.setToDefault();
  conf.set(el::Level::Global, el::ConfigurationType::ToStandardOutput, "false");
  conf.set(el::Level::Global, el::ConfigurationType::ToFile, "false");
  el::Loggers::reconfigureLogger("default", conf);
  return RUN_ALL_TESTS();
}
