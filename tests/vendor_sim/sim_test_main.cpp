// gtest entry of the simulator tests: a quiet logger and libcurl set up once.
#include <curl/curl.h>
#include <easylogging++.h>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  el::Configurations conf;
  conf.setToDefault();
  conf.set(el::Level::Global, el::ConfigurationType::ToStandardOutput, "false");
  conf.set(el::Level::Global, el::ConfigurationType::ToFile, "false");
  el::Loggers::reconfigureLogger("default", conf);
  curl_global_init(CURL_GLOBAL_ALL);
  const int result = RUN_ALL_TESTS();
  curl_global_cleanup();
  return result;
}
