% QUORVEL  Serial ports COM1 ... COM8 from MATLAB and Octave: open, configure, write, read.
%
%   [s, status] = quorvel('Open', s)            open the port of s, apply s
%   status      = quorvel('Close', s)           wait for writes, close
%                 quorvel('CloseAll')           close every port, unlock
%   [s, status] = quorvel('GetParams', s)       settings (16: not all in force)
%   [s, status] = quorvel('GetParams', 'default')   the default settings
%   [s, status] = quorvel('SetParams', s)       apply only what changed
%   status      = quorvel('Write', s, data)     queue a write of uint8 data
%   [n, status] = quorvel('GetWriteStatus', s)  bytes waiting to be sent
%   status      = quorvel('FlushWrite', s)      wait for the queued writes
%   status      = quorvel('FlushWrite', s, 'discard')   drop them instead
%   [d, status] = quorvel('Read', s)            the bytes waiting, as uint8
%   [d, status] = quorvel('Read', s, count)     count bytes, or fewer once
%                                               ReadTimeout seconds pass
%                                               without a byte
%   [n, status] = quorvel('GetReadStatus', s)   bytes waiting to be read
%   status      = quorvel('FlushRead', s)       drop the bytes waiting
%
% s is a settings structure from vantrel (or one returned by Open, GetParams
% and SetParams); its Port field names the port. Command names may be
% shortened to any unique prefix and are matched ignoring case ('open',
% 'GetR'). Open and SetParams return the settings in force; d is a 1xN uint8
% row; n is a count of bytes, empty when the port is closed.
%
% vantrel checks everything; quorvel does not. Fields edited directly in the
% structure (s.BaudRate = 115200) are not checked: quorvel refuses only a
% value of the wrong kind or an unknown keyword, and converts numbers as they
% come: fractions are cut off, negative and huge values wrap around
% (BaudRate -1 becomes 4294967295) and Inf becomes 0. A misspelled field
% name (s.Baudrate = 115200) is simply an extra field, which quorvel
% ignores. Pass an edited structure through vantrel(s) first.
%
% ReadTimeout is the longest gap between bytes: a Read of count bytes waits
% at most ReadTimeout for each missing byte, so while a device keeps sending
% it lasts until count bytes have come. ReadTimeout 0 returns at once with
% what has come. A write stays pending until its bytes have left the device:
% output held by flow control keeps it pending, FlushWrite then answers 8
% after WriteTimeout, and Close discards what is still held after its wait.
%
% Handshake: with RtsCtsEnable 'on' the driver holds RTS itself, raised while
% it can take more input, and sends only while CTS is raised; DsrDtrEnable
% 'on' does the same with DTR and DSR. The returned structure then shows that
% line as 'handshake', which Open and SetParams refuse as a setting; vantrel(s)
% turns it back into 'on'.
%
% Frames a device refuses answer status 16: 1.5 stop bits go only with 5 data
% bits, and 2 stop bits not with 5. After a 16 from Open or SetParams the
% structure shows the settings asked for, not those in force, and the
% refusal stands: GetParams answers 16 too, and the next SetParams applies
% the refused settings again even if unchanged (16 while the device still
% refuses them, 0 once it takes them); Close or another Open lifts it.
%
% Every command answers with a status code, the sum of these bits:
%    0  success, nothing outstanding
%    1  line error: a parity, framing or break error was received
%    2  not open: the port is closed or could not be opened
%    4  pending: bytes are waiting, or writes are still in flight
%    8  timed out: fewer bytes than asked for arrived, or writes did not end
%   16  configuration failed: the device refused the settings
%   32  overrun: the input buffer overflowed
%   64  I/O failed: a device call failed
% Line errors and overruns are reported by GetReadStatus until a Read
% returns them. FlushWrite and Close add 64 once when a write queued earlier
% ended failed or short (the device hung up while it was sent); writes
% dropped with 'discard' do not count. Calls with wrong arguments stop with
% an error instead, such as 'Unknown command.'.
%
% In Octave, Ctrl-C ends a Read, FlushWrite or Close that is waiting as if
% its time had run out, and the script then stops; MATLAB lets a command
% wait out its time-outs.
%
% An open port keeps quorvel locked in memory (mislocked('quorvel')), so
% 'clear quorvel' keeps the ports open; CloseAll closes them all, and they are
% closed when MATLAB or Octave exits. On Windows, COMn is the Windows port of
% that name, unless quorvel_ports mapped it to another port, such as an
% adapter at COM12 (HKEY_CURRENT_USER\Software\quorvel, or the environment
% variable QUORVEL_PORTS). On Linux, COMn is the device that the link
% $QUORVEL_DEVICES/comN or ${XDG_CONFIG_HOME:-~/.config}/quorvel/comN points to, else
% /dev/ttyS(n-1). On both, quorvel_ports() lists which device each COMn is,
% whether it can be opened and, if not, why; quorvel_ports('COM3', device)
% maps a port (help quorvel_ports).
%
% Lines and typed data: quorvel_writeline, quorvel_readline and
% quorvel_query (write a line, read the answer up to its terminator, back as
% soon as the terminator has come) and quorvel_read (count values of a
% numeric type, in either byte order) are built on these commands and ship
% beside quorvel. A readline never takes a byte after its terminator. For an
% instrument that speaks SCPI, three lines:
%   s = quorvel('Open', vantrel('COM3', 'BaudRate', 115200, 'ReadTimeout', 1));
%   [idn, status] = quorvel_query(s, '*IDN?')        % 0 and the identity
%   volts = str2double(quorvel_query(s, 'MEAS:VOLT?'));
%
% Example:
%   s = vantrel('COM3', 'BaudRate', 115200, 'ReadTimeout', 0.5);
%   [s, status] = quorvel('Open', s);           % 0: open and configured
%   quorvel('Write', s, uint8(sprintf('*IDN?\n')));   % 4: queued
%   [reply, status] = quorvel('Read', s, 64);   % 8 when fewer than 64 came
%   disp(char(reply));
%   quorvel('Close', s);
%
% See also: vantrel, quorvel_ports, quorvel_query, quorvel_readline,
% quorvel_writeline, quorvel_read.
