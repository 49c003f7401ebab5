# Sourced by the e2e scripts. closed_endpoints FILE: writes an endpoints.ini that sends every
# service to a closed loopback port, so a run under test never looks up or reaches a real host
# and never waits long for one.
closed_endpoints() {
  {
    echo "[Endpoints]"
    for key in ConfigService ConfigServiceChina DataService DataServiceTest AlertService \
               AlertServiceTest Collector CollectorTest Ga4 LogUpload LogUploadTest; do
      echo "$key=127.0.0.1:9"
    done
  } >"$1"
}
