# Host names of the outside services. Each is build configuration (host, optionally ":port");
# the defaults sit under a reserved example domain. At run time an optional endpoints.ini
# beside the executable overrides them (see README).
set(KERFO_HOST_CONFIG "config.brindlecot.example" CACHE STRING "Configuration service")
set(KERFO_HOST_CONFIG_CN "config-cn.brindlecot.example" CACHE STRING "Configuration service (China)")
set(KERFO_HOST_DATA "data.brindlecot.example" CACHE STRING "Data service (banners, privacy)")
set(KERFO_HOST_DATA_TEST "data-test.brindlecot.example" CACHE STRING "Data service, test form")
set(KERFO_HOST_ALERT "alert.brindlecot.example" CACHE STRING "Alert service")
set(KERFO_HOST_ALERT_TEST "alert-test.brindlecot.example" CACHE STRING "Alert service, test form")
set(KERFO_HOST_COLLECTOR "collect.brindlecot.example" CACHE STRING "Analytics collector")
set(KERFO_HOST_COLLECTOR_TEST "collect-test.brindlecot.example" CACHE STRING "Analytics collector, test form")
set(KERFO_HOST_GA4 "ga4.brindlecot.example" CACHE STRING "GA4 collection host")
set(KERFO_HOST_LOG_UPLOAD "logs.brindlecot.example" CACHE STRING "Log-upload service")
set(KERFO_HOST_LOG_UPLOAD_TEST "logs-test.brindlecot.example" CACHE STRING "Log-upload service, test form")

configure_file(${CMAKE_SOURCE_DIR}/src/config/endpoint_defaults.h.in
               ${CMAKE_BINARY_DIR}/generated/config/endpoint_defaults.h @ONLY)
