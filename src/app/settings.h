// What the service runs with, as the command line gives it.
#pragma once

#include <cstdint>
#include <string>

namespace nc {

struct Settings {
  std::string listen = "127.0.0.1";
  int64_t port = 9992;
  std::string forwarderConfigPath = "/opt/zel/packet_forwarder/lora_pkt_fwd/global_conf.json";
  std::string forwarderUnitServiceName = "packet-forwarder";  // empty: nothing is restarted
  int64_t forwarderSettleSeconds = 5;  // how long a restarted forwarder must stay up
  std::string dataPath = "nodeconsole.sqlite3";
  int64_t tokenLifetime = 86400;  // seconds; 0: tokens last until the service restarts
  std::string allowedHosts;       // comma-separated names accepted in Host besides the built-in ones
  std::string metricsTokenFile;   // the bearer token of GET /metrics; empty: no metrics
  // PEM files; with both, the port speaks HTTPS, and missing ones are made.
  std::string tlsCertificate;
  std::string tlsKey;
  // Holds the admin password a new database is made with; empty: the factory one.
  std::string initialPasswordFile;
};

}  // namespace nc
