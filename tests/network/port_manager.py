"""pyserial's own RFC 2217 server (serial.rfc2217.PortManager) on a loop://
device, which echoes what it is sent and keeps every setting it is given.
Serves one connection on 127.0.0.1, prints "port N" once it listens, and
ends after LIFETIME seconds or when the client leaves."""
import select
import socket
import time

import serial
import serial.rfc2217

LIFETIME = 60


class Connection:
    """The socket as the port manager writes to it."""

    def __init__(self, sock):
        self.sock = sock

    def write(self, data):
        self.sock.sendall(data)


def main():
    deadline = time.monotonic() + LIFETIME
    device = serial.serial_for_url("loop://", timeout=0)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    print("port %d" % listener.getsockname()[1], flush=True)
    listener.settimeout(LIFETIME)
    try:
        connection, _ = listener.accept()
    except socket.timeout:
        return
    manager = serial.rfc2217.PortManager(device, Connection(connection))
    while time.monotonic() < deadline:
        readable, _, _ = select.select([connection], [], [], 0.001)
        if readable:
            data = connection.recv(65536)
            if not data:
                break
            device.write(b"".join(manager.filter(data)))
        waiting = device.in_waiting
        if waiting:
            connection.sendall(b"".join(manager.escape(device.read(waiting))))
        manager.check_modem_lines()
    connection.close()


if __name__ == "__main__":
    main()
