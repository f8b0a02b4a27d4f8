"""A network serial port server (Telnet with the COM port option, RFC 2217)
that misbehaves on purpose, for what real servers will not do. It serves one
connection on 127.0.0.1, plays a device that echoes every byte, and ends
after LIFETIME seconds whatever happens.

    fault_server.py MODE

It prints "port N" once it listens, then one line per event: "asked C V"
for each command of the option (its code and value), "closed" at the end.

MODE:
  agree      answers every setting with the value asked
  decline    refuses the option (DONT COM-PORT-OPTION)
  silent     accepts the connection and never says a thing (plain TCP)
  refuse     answers a SET-BAUDRATE above 115200 with 115200, the most its
             device takes
  late       answers settings 1.5 s after they were asked
  never      never answers a setting
  linestate  before echoing P, O, F or B, notifies a parity, overrun,
             framing or break error
  garbage    wraps every echo in unknown options, an oversized
             subnegotiation, a truncated notification and NOPs
  hangup     closes the connection after 1000 bytes of data, unread bytes
             left behind (the client sees a reset)
"""
import socket
import sys
import time

LIFETIME = 60
IAC, DONT, DO, WONT, WILL, SB, SE, NOP = 255, 254, 253, 252, 251, 250, 240, 241
COM_PORT = 44
SET_BAUDRATE, NOTIFY_LINESTATE, PURGE_DATA = 1, 6, 12
LINE_ERRORS = {ord("P"): 0x04, ord("O"): 0x02, ord("F"): 0x08, ord("B"): 0x10}
HANGUP_AFTER = 1000
MOST_RATE = 115200


def report(text):
    print(text, flush=True)


def escaped(data):
    return data.replace(b"\xff", b"\xff\xff")


def subnegotiation(option, payload):
    return bytes([IAC, SB, option]) + escaped(payload) + bytes([IAC, SE])


class Server:
    def __init__(self, mode, connection):
        self.mode = mode
        self.connection = connection
        self.state = "data"
        self.sub = bytearray()
        self.received = 0

    def send(self, data):
        self.connection.sendall(data)

    def greet(self):
        if self.mode == "silent":
            return
        answer = DONT if self.mode == "decline" else DO
        self.send(bytes([IAC, answer, COM_PORT, IAC, WILL, 0, IAC, DO, 0, IAC, WILL, 3, IAC, DO, 3]))
        if self.mode == "garbage":
            self.send(bytes([IAC, WILL, 1, IAC, DO, 24, IAC, NOP]) + subnegotiation(99, b"x" * 300))

    def answer(self, command, value):
        report("asked %d %s" % (command, int.from_bytes(value, "big")))
        if self.mode == "never":
            return
        if self.mode == "late":
            time.sleep(1.5)
        if self.mode == "refuse" and command == SET_BAUDRATE:
            value = min(int.from_bytes(value, "big"), MOST_RATE).to_bytes(4, "big")
        self.send(subnegotiation(COM_PORT, bytes([command + 100]) + value))

    def echo(self, data):
        out = bytearray()
        for byte in data:
            if self.mode == "linestate" and byte in LINE_ERRORS:
                out += subnegotiation(COM_PORT, bytes([NOTIFY_LINESTATE + 100, LINE_ERRORS[byte]]))
            if self.mode == "garbage":
                out += bytes([IAC, NOP]) + subnegotiation(COM_PORT, bytes([NOTIFY_LINESTATE + 100]))
                out += subnegotiation(COM_PORT, bytes([SET_BAUDRATE + 100]) + b"\xff" * 200)
            out += escaped(bytes([byte]))
        self.send(bytes(out))

    def feed(self, chunk):
        data = bytearray()
        for byte in chunk:
            if self.state == "data":
                if byte == IAC:
                    self.state = "iac"
                else:
                    data.append(byte)
            elif self.state == "iac":
                if byte == IAC:
                    data.append(byte)
                    self.state = "data"
                elif byte in (DO, DONT, WILL, WONT):
                    self.state = "option"
                elif byte == SB:
                    self.sub = bytearray()
                    self.state = "sub"
                else:
                    self.state = "data"
            elif self.state == "option":
                self.state = "data"
            elif self.state == "sub":
                if byte == IAC:
                    self.state = "sub-iac"
                else:
                    self.sub.append(byte)
            elif self.state == "sub-iac":
                if byte == SE:
                    if len(self.sub) >= 2 and self.sub[0] == COM_PORT:
                        self.answer(self.sub[1], bytes(self.sub[2:]))
                    self.state = "data"
                else:
                    self.sub.append(byte)
                    self.state = "sub"
        self.received += len(data)
        if data and self.mode != "hangup":
            self.echo(bytes(data))

    def serve(self, deadline):
        self.greet()
        while time.monotonic() < deadline:
            self.connection.settimeout(max(0.01, deadline - time.monotonic()))
            try:
                chunk = self.connection.recv(256 if self.mode == "hangup" else 65536)
            except (socket.timeout, ConnectionError):
                return
            if not chunk:
                return
            self.feed(chunk)
            if self.mode == "hangup" and self.received >= HANGUP_AFTER:
                return


def main():
    mode = sys.argv[1]
    deadline = time.monotonic() + LIFETIME
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    listener.settimeout(LIFETIME)
    report("port %d" % listener.getsockname()[1])
    try:
        connection, _ = listener.accept()
    except socket.timeout:
        return
    if mode == "hangup":
        connection.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    try:
        Server(mode, connection).serve(deadline)
    finally:
        connection.close()
        report("closed")


if __name__ == "__main__":
    main()
