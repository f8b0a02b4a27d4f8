// The devices at the far ends of the ports. The Linux-side harness
// (wine_harness.py) holds the other end of each port's pseudo-terminal and
// acts on these requests. COM1-COM7 have a device; COM8 has one that refuses
// to open.
#pragma once

#include <string>

namespace wine_test {

constexpr int RefusingPort = 8;

// Sends bytes from the far end, now or after a delay (without waiting for it).
void FarSend(int port, const std::string& bytes, int afterMilliseconds = 0);

// The bytes the far end has received: up to count, waiting at most timeoutMilliseconds.
std::string FarReceive(int port, std::size_t count, int timeoutMilliseconds);

// The line settings the port's terminal holds now.
struct FarLine {
    int baudRate;
    bool rtsCts;
    bool xonXoff;
};
FarLine FarLineSettings(int port);

// The far end hangs up, now or after a delay: it closes its side of the
// pseudo-terminal.
void FarHangUp(int port, int afterMilliseconds = 0);

} // namespace wine_test
