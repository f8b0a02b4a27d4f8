% QUORVEL_PORTS  Which device each of COM1 ... COM8 opens on Windows, why a
% port cannot be opened, and how to reach an adapter at COM9 or above.
%
%   quorvel_ports()                      print the ports and the COM ports present
%   ports = quorvel_ports()              the ports, a 1x8 structure array
%   [ports, devices] = quorvel_ports()   and the COM ports present
%   row = quorvel_ports('COM3', 'COM12') map COM3 to the port COM12
%   row = quorvel_ports('COM3', '')      remove the mapping of COM3
%
% Each element of ports describes one port:
%   Port         'COM1' ... 'COM8'
%   Device       what quorvel('Open') opens for it: 'COM3' itself, or the
%                device it is mapped to, '\\.\COM12'
%   Source       where that came from: 'default' (no mapping), 'registry'
%                (the mapping quorvel_ports made) or 'QUORVEL_PORTS' (the
%                environment variable, see below)
%   Status       'ready'           it can be opened
%                'missing'         no such port now: the adapter is unplugged,
%                                  or Windows gave it another number
%                'target missing'  it is mapped to a port that is not present
%                'busy'            another program, or this session, has it
%                                  open (quorvel('Open') answers 2 until it
%                                  lets go)
%                'no access'       Windows refuses to open it for another
%                                  reason, such as a driver problem
%   Advice       one sentence on what to do. For a missing port, when an
%                adapter sits at COM9 or above, both ways to reach it: map
%                it, or give it a number from COM1 to COM8 in Device Manager
%                (Ports > the adapter > Port Settings > Advanced > COM Port
%                Number), which needs administrator rights; the numbers of
%                COM1 ... COM8 that are free are named.
%   Description  the device's name and maker as Device Manager shows them,
%                and for a USB adapter its serial number and VID:PID, else ''
%
% Each element of devices is one COM port Windows lists as present
% (HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM), in number order:
%   Path         its name, 'COM12'
%   StableName   '' on Windows: map a port by its COM name
%   Description  as above
%   MappedAs     the ports that open it, 'COM3', else ''
%
% quorvel_ports('COM3', 'COM12') maps COM3 to \\.\COM12 for this Windows
% user, for every later session, and needs no administrator rights: it
% writes the string value COM3 under HKEY_CURRENT_USER\Software\quorvel,
% which quorvel('Open') reads each time it opens COM3. Port stays 'COM3'
% in the settings. The target is a COM name ('COM12', '\\.\COM12') or the
% device path of a virtual port driver ('\\.\CNCA0'). quorvel_ports('COM3',
% '') removes the mapping, and COM3 opens the port COM3 again. Refused, with
% nothing changed: a port outside COM1 ... COM8; a target that is neither a
% COM name nor a device path; a device another port already opens (a port
% opens for one owner only, so the second Open would fail); and any mapping
% while QUORVEL_PORTS is set.
%
% The environment variable QUORVEL_PORTS, when set, stands in for the
% registry, for example where it may not be written:
%   setenv('QUORVEL_PORTS', 'COM3=COM12;COM4=\\.\CNCA0')
% Each entry maps one port; a port it does not name opens by its own name.
%
% To tell whether a port is there and free, quorvel_ports opens it for an
% instant, shared with nobody, and closes it at once: it sends nothing and
% changes no setting. A port another program has open answers 'busy'.
%
% Example: find a USB adapter and make it COM3.
%   [ports, devices] = quorvel_ports();
%   quorvel_ports('COM3', devices(end).Path);
%
% See also: quorvel, vantrel.
