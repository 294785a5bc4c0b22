#include "tests/support/router_texts.h"

#include <cstdio>
#include <vector>

#include "runtime/numtext.h"

namespace vx::test {

namespace {

const std::string kCrLf = "\r\n";

std::string Row(const std::vector<std::string>& cells) {
    std::string row = "  <tr>" + kCrLf;
    for (const std::string& c : cells) row += "    " + c + kCrLf;
    return row + "  </tr>" + kCrLf;
}

// Packets as the simulator counts them from the octets; N/A for a text that
// is no counter.
std::string Packets(const std::string& octets, double perPacket) {
    const auto n = ParseNumber(octets);
    if (!n || *n < 0) return "N/A";
    return Digits(static_cast<double>(static_cast<unsigned long long>(*n / perPacket)));
}

}  // namespace

std::string Digits(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", value);
    return buf;
}

std::string StatsPage(const std::string& in, const std::string& out) {
    const char* head[] = {"<html>",
                          "<head>",
                          "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">",
                          "<link rel=\"stylesheet\" href=\"stylemain.css\" type=\"text/css\">",
                          "<title>WAN Statistics</title>",
                          "</head>",
                          "<body>",
                          "<blockquote>",
                          "<b>WAN Statistics</b><br><br>",
                          "<table border=\"1\" cellpadding=\"4\" cellspacing=\"0\">"};
    const char* info[][2] = {{"Service", "pppoe_0_38_1"},
                             {"Interface", "ppp0"},
                             {"Protocol", "PPPoE"},
                             {"VPI/VCI", "0/38"},
                             {"Status", "Up"},
                             {"Connected for", "2d 04:17:52"},
                             {"IP Address", "10.64.12.7"},
                             {"Default Gateway", "10.64.0.1"},
                             {"Primary DNS", "10.64.0.53"},
                             {"Secondary DNS", "10.64.0.54"}};
    const char* tail[] = {"</table>",
                          "<br>",
                          "<form method=\"post\" action=\"statswan.cmd\">",
                          "<input type=\"hidden\" name=\"action\" value=\"reset\">",
                          "<input type=\"submit\" value=\"Reset Statistics\">",
                          "</form>",
                          "</blockquote>",
                          "</body>",
                          "</html>"};
    std::string page;
    for (const char* line : head) page += line + kCrLf;
    for (const auto& row : info)
        page += Row({std::string("<td class=\"hd\">") + row[0] + "</td>", std::string("<td>") + row[1] + "</td>"});
    page += Row({"<td class=\"hd\" colspan=\"2\">Received</td>"});
    page += Row({"<td class=\"hd\">Octets</td>", "<td>" + in + "</td>"});
    page += Row({"<td class=\"hd\">Packets</td>", "<td>" + Packets(in, 612) + "</td>"});
    page += Row({"<td class=\"hd\" colspan=\"2\">Transmitted</td>"});
    page += Row({"<td class=\"hd\">Octets</td>", "<td>" + out + "</td>"});
    page += Row({"<td class=\"hd\">Packets</td>", "<td>" + Packets(out, 187) + "</td>"});
    for (const char* line : tail) page += line + kCrLf;
    return page;
}

std::string StatsPage(double in, double out) { return StatsPage(Digits(in), Digits(out)); }

std::string IfconfigReply(const std::string& rx, const std::string& tx) {
    return "ifconfig\r\n"
           "br0       Link encap:Ethernet  HWaddr 00:90:4C:60:12:34\r\n"
           "          RX bytes:111 (111.0 B)  TX bytes:222 (222.0 B)\r\n\r\n"
           "ppp0      Link encap:Point-Point Protocol\r\n"
           "          inet addr:10.64.12.7  P-t-P:10.64.0.1  Mask:255.255.255.255\r\n"
           "          RX bytes:" +
           rx + " (1.0 KiB)  TX bytes:" + tx +
           " (0.5 KiB)\r\n\r\n"
           "nas_0_38  Link encap:Ethernet\r\n"
           "          RX bytes:333 (333.0 B)  TX bytes:444 (444.0 B)\r\n\r\n> ";
}

std::string IfconfigReply(double rx, double tx) { return IfconfigReply(Digits(rx), Digits(tx)); }

}  // namespace vx::test
