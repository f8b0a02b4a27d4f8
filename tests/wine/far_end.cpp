#include "far_end.h"

#include "checks.h"

#include <cstdio>
#include <iostream>
#include <sstream>

namespace wine_test {

namespace {

std::string Hex(const std::string& bytes)
{
    std::string hex;
    for (unsigned char byte : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", byte);
        hex += digits;
    }
    return hex;
}

std::string FromHex(const std::string& hex)
{
    std::string bytes;
    for (std::size_t at = 0; at + 1 < hex.size(); at += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
    return bytes;
}

std::string Request(const std::string& verb, int port, const std::string& arguments)
{
    std::printf("@far %s %d %s\n", verb.c_str(), port, arguments.c_str());
    std::fflush(stdout);
    std::string reply;
    if (!std::getline(std::cin, reply) || reply.rfind("error", 0) == 0)
        ReportFailure(__FILE__, __LINE__,
                      "far end: " + verb + " on COM" + std::to_string(port) + ": " + reply);
    return reply;
}

} // namespace

void FarSend(int port, const std::string& bytes, int afterMilliseconds)
{
    Request("send", port, std::to_string(afterMilliseconds) + " " + Hex(bytes));
}

std::string FarReceive(int port, std::size_t count, int timeoutMilliseconds)
{
    std::string reply =
        Request("receive", port, std::to_string(count) + " " + std::to_string(timeoutMilliseconds));
    const std::string tag = "data ";
    return reply.rfind(tag, 0) == 0 ? FromHex(reply.substr(tag.size())) : std::string();
}

FarLine FarLineSettings(int port)
{
    std::istringstream reply(Request("line", port, ""));
    FarLine line{};
    int rtsCts = 0, xonXoff = 0;
    reply >> line.baudRate >> rtsCts >> xonXoff;
    line.rtsCts = rtsCts != 0;
    line.xonXoff = xonXoff != 0;
    return line;
}

void FarHangUp(int port, int afterMilliseconds)
{
    Request("hangup", port, std::to_string(afterMilliseconds));
}

} // namespace wine_test
