% QUORVEL_PORTS  Which device each of COM1 ... COM8 is on Linux, and why a port
% cannot be opened.
%
%   quorvel_ports()                      print the ports and the serial devices
%   ports = quorvel_ports()              the ports, a 1x8 structure array
%   [ports, devices] = quorvel_ports()   and the serial devices present
%   row = quorvel_ports('COM3', device)  map COM3 to device (a link)
%   row = quorvel_ports('COM4', 'rfc2217://lab-gw:4001')
%                                        map COM4 to a network serial port
%   row = quorvel_ports('COM3', '')      remove the mapping of COM3
%
% Each element of ports describes one port:
%   Port         'COM1' ... 'COM8'
%   Device       the path the name resolves to, or the network serial
%                port's address, 'rfc2217://host:port'
%   Source       the rule that gave it: 'QUORVEL_DEVICES' (the link
%                $QUORVEL_DEVICES/comN), 'config' (the link
%                ${XDG_CONFIG_HOME:-~/.config}/quorvel/comN) or 'default'
%                (/dev/ttyS(n-1))
%   Status       'ready'        it can be opened
%                'missing'      no such device, or a /dev/ttyS with no UART
%                'broken link'  the link points to nothing: the adapter is
%                               unplugged, or the link is wrong
%                'not a tty'    the path is not a serial device
%                'no access'    you may not read and write it
%                'busy'         another program holds it (quorvel('Open')
%                               answers 2 until it lets go)
%                'network'      a serial port on another machine; not
%                               connected to here (see below)
%   Advice       one sentence on what to do: for 'no access', the group to
%                join and the command that adds you to it; for 'busy', the
%                process that holds the port, when it can be seen
%   Description  maker, product, serial number and VID:PID of a USB adapter,
%                else ''
%
% Each element of devices is one serial device present: /dev/serial/by-id/*,
% /dev/ttyUSB*, /dev/ttyACM* and the /dev/ttyS* with a UART behind them.
%   Path         the device, '/dev/ttyUSB0'
%   StableName   its /dev/serial/by-id link, a name that stays the same
%                whichever USB socket the adapter is in; else ''
%   Description  as above
%   MappedAs     the port that resolves to it, 'COM3', else ''
%
% quorvel_ports('COM3', device) links COM3 to device in
% ${XDG_CONFIG_HOME:-~/.config}/quorvel, replacing its link, and returns the
% updated element. Prefer the StableName of an adapter: /dev/ttyUSB0 may name
% another adapter after the next plug-in. It refuses a port outside COM1 ...
% COM8, a device that is not a character device, and any mapping while the
% environment variable QUORVEL_DEVICES is set, since its links would win.
%
% Network serial ports. A port may be a serial port on another machine,
% behind a serial device server or a Linux machine running ser2net, spoken
% to with the Telnet COM port option (RFC 2217): map it to
% 'rfc2217://host:port', or make the link's target that text. quorvel_ports
% lists it with its server and never connects, since a connection makes the
% server open its port. Everything else works as on a local port: the
% settings are sent to the server, which must confirm each (else status 16,
% and the previous settings stay); line errors it reports give 1 and 32; a
% closed connection gives 64; FlushRead, and FlushWrite with 'discard',
% purge the server's buffers too. The modem lines (DtrLine, RtsLine) are asked for and not
% waited for, as on a pseudo-terminal: a far port without them (ser2net on
% a pseudo-terminal) never answers, and that is no failure. XonChar and
% XoffChar cannot be sent; the server's own apply.
% quorvel('Open') answers 2 when
%   - the host cannot be found, or refuses the connection;
%   - no connection and agreement come within 5 s (Ctrl-C ends the wait in
%     Octave), as from a plain TCP port that does not speak Telnet;
%   - the server declines the COM port option.
% Not available: network ports on Windows, raw TCP without the option
% (socket://), and TLS.
%
% Looking at a port changes nothing on it: quorvel_ports reads the file
% system, /sys and /proc, and never opens a device, sends data or changes a
% setting. 'busy' means another program has locked the port, as quorvel does
% when it opens one; a program that has the port open without a lock leaves
% it 'ready', and Advice names it when /proc shows it.
%
% Example: find a USB adapter and make it COM3.
%   [ports, devices] = quorvel_ports();
%   quorvel_ports('COM3', devices(1).StableName);
%
% Example: a port behind ser2net on lab-gw.
%   quorvel_ports('COM4', 'rfc2217://lab-gw:4001');
%   s = quorvel('Open', vantrel('COM4', 'BaudRate', 115200));
%   quorvel('Write', s, uint8('*IDN?')); reply = quorvel('Read', s, 20);
%
% See also: quorvel, vantrel.
