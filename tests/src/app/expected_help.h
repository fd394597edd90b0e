// The help text as a user sees it, written out by hand from the layout rules:
// the widest cells are 27, 6 and 57 characters, each padded by two, after an
// indentation of two, so descriptions start at column 98.
#pragma once

#include <string>

namespace nc::test {

inline const std::string helpHead = "Usage:\n  nodeconsole [optional-params] \nOptions:\n";

inline const std::string helpRowHelp =
    "  -h, --help                                                                                      ";
inline const std::string helpRowHelpSyntax =
    "  --help-syntax                                                                                   ";
inline const std::string helpRowListen =
    "  -l=, --listen=               string  \"127.0.0.1\"                                                ";
inline const std::string helpRowPort =
    "  -p=, --port=                 int     9992                                                       ";
inline const std::string helpRowForwarderConfigPath =
    "  -f=, --forwarderConfigPath=  string  \"/opt/zel/packet_forwarder/lora_pkt_fwd/global_conf.json\"  ";
inline const std::string helpRowForwarderUnitServiceName =
    "  --forwarderUnitServiceName=  string  \"packet-forwarder\"                                         ";
inline const std::string helpRowForwarderSettleSeconds =
    "  --forwarderSettleSeconds=    int     5                                                          ";
inline const std::string helpRowDataPath =
    "  -d=, --dataPath=             string  \"nodeconsole.sqlite3\"                                      ";
inline const std::string helpRowTokenLifetime =
    "  --tokenLifetime=             int     86400                                                      ";
inline const std::string helpRowAllowedHosts =
    "  --allowedHosts=              string  \"\"                                                         ";
inline const std::string helpRowMetricsTokenFile =
    "  --metricsTokenFile=          string  \"\"                                                         ";
inline const std::string helpRowTlsCertificate =
    "  --tlsCertificate=            string  \"\"                                                         ";
inline const std::string helpRowTlsKey =
    "  --tlsKey=                    string  \"\"                                                         ";
inline const std::string helpRowInitialPasswordFile =
    "  --initialPasswordFile=       string  \"\"                                                         ";
inline const std::string helpContinuation(98, ' ');

// 80 columns leave less than the least description width of 16, so 16 it is;
// a word longer than that keeps a line of its own.
inline const std::string helpAt80Columns =
    helpHead +
    helpRowHelp + "print this\n" +
    helpContinuation + "cligen-erated\n" +
    helpContinuation + "help\n" +
    helpRowHelpSyntax + "advanced:\n" +
    helpContinuation + "prepend,plurals,..\n" +
    helpRowListen + "set listen\n" +
    helpRowPort + "set port\n" +
    helpRowForwarderConfigPath + "set\n" +
    helpContinuation + "forwarderConfigPath\n" +
    helpRowForwarderUnitServiceName + "set\n" +
    helpContinuation + "forwarderUnitServiceName\n" +
    helpRowForwarderSettleSeconds + "set\n" +
    helpContinuation + "forwarderSettleSeconds\n" +
    helpRowDataPath + "set dataPath\n" +
    helpRowTokenLifetime + "set\n" +
    helpContinuation + "tokenLifetime\n" +
    helpRowAllowedHosts + "set allowedHosts\n" +
    helpRowMetricsTokenFile + "set\n" +
    helpContinuation + "metricsTokenFile\n" +
    helpRowTlsCertificate + "set\n" +
    helpContinuation + "tlsCertificate\n" +
    helpRowTlsKey + "set tlsKey\n" +
    helpRowInitialPasswordFile + "set\n" +
    helpContinuation + "initialPasswordFile\n";

inline const std::string helpAt200Columns =
    helpHead +
    helpRowHelp + "print this cligen-erated help\n" +
    helpRowHelpSyntax + "advanced: prepend,plurals,..\n" +
    helpRowListen + "set listen\n" +
    helpRowPort + "set port\n" +
    helpRowForwarderConfigPath + "set forwarderConfigPath\n" +
    helpRowForwarderUnitServiceName + "set forwarderUnitServiceName\n" +
    helpRowForwarderSettleSeconds + "set forwarderSettleSeconds\n" +
    helpRowDataPath + "set dataPath\n" +
    helpRowTokenLifetime + "set tokenLifetime\n" +
    helpRowAllowedHosts + "set allowedHosts\n" +
    helpRowMetricsTokenFile + "set metricsTokenFile\n" +
    helpRowTlsCertificate + "set tlsCertificate\n" +
    helpRowTlsKey + "set tlsKey\n" +
    helpRowInitialPasswordFile + "set initialPasswordFile\n";

}  // namespace nc::test
