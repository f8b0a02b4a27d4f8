% QUORVEL_PORTS  Which device each of COM1 ... COM8 is on Linux, and why a port
% cannot be opened.
%
%   quorvel_ports()                      print the ports and the serial devices
%   ports = quorvel_ports()              the ports, a 1x8 structure array
%   [ports, devices] = quorvel_ports()   and the serial devices present
%   row = quorvel_ports('COM3', device)  map COM3 to device (a link)
%   row = quorvel_ports('COM3', '')      remove the mapping of COM3
%
% Each element of ports describes one port:
%   Port         'COM1' ... 'COM8'
%   Device       the path the name resolves to
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
% See also: quorvel, vantrel.
