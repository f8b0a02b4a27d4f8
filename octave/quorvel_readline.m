function [line, status] = quorvel_readline(s, varargin)
% QUORVEL_READLINE  Read one line from an open port, up to its terminator.
%
%   [line, status] = quorvel_readline(s)
%   [line, status] = quorvel_readline(s, 'Terminator', t, 'Timeout', seconds)
%
% Returns as soon as the terminator has come, with the line before it as a
% char row (zero bytes and all) and status 0. The terminator is taken from
% the port and dropped; a byte after it is never taken, so whatever the
% device sent after the line stays for the next quorvel_readline or Read.
%
% Options (name, value pairs, names in any case):
%   'Terminator'  'LF' (the default), 'CR', 'CR/LF', one character, or a byte
%                 0 ... 255 such as 0 or 255 for binary protocols.
%   'Timeout'     seconds the whole readline may take, 10 by default (Inf:
%                 no limit). The port's ReadTimeout still bounds each wait
%                 for a missing byte, so a device that falls silent for
%                 ReadTimeout ends the readline too.
%
% Status, as quorvel's:
%    0  the line came
%    8  no terminator came in time: line holds what did come
%  1, 32  added when Read reported a line error or an overrun meanwhile
%    2  the port is not open (line is empty)
%   64  a read failed (line holds what came before)
%
% The bytes are read one Read at a time (two at a time with 'CR/LF' while no
% CR is pending), since only that never takes a byte after the terminator:
% a Read of what is waiting could swallow the start of the next line. So a
% line costs about one Read a byte, 10 to 30 microseconds in Octave on a
% pseudo-terminal: a readline returns within a millisecond of the last
% byte of a 40-byte line, and a 4 KiB line takes some 50 to 120 ms (a single
% Read of 4 KiB takes under a millisecond). For bulk data, quorvel_read or Read.
%
% When the port's ReadTimeout is longer than what is left of Timeout, the
% readline lowers ReadTimeout for its last waits (quorvel SetParams) and
% puts it back before it returns, also when it is interrupted; it then ends
% within about 10 ms of Timeout. It takes s.ReadTimeout for the port's, so s
% should be the settings that Open, SetParams or GetParams returned.
%
% Example (an instrument that answers in lines):
%   s = quorvel('Open', vantrel('COM3', 'BaudRate', 115200, 'ReadTimeout', 1));
%   quorvel_writeline(s, '*IDN?');
%   [idn, status] = quorvel_readline(s)          % 0 and the identity
%
% See also: quorvel_writeline, quorvel_query, quorvel_read, quorvel.

  options = quorvel_options('quorvel_readline', {'Terminator', 'Timeout'}, varargin);
  [bytes, status] = read_to_terminator(s, uint8(options.Terminator), options.Timeout);
  line = char(bytes);
end

% Bytes that wait are read one at a time in a tight loop; the loop around it
% waits for more, bounded by what is left of the time, reads two bytes at a
% time where a two-byte terminator cannot end at the first, grows the buffer
% and checks the time every 256 bytes. It is one function because a call of
% an m-file function costs about as much as a Read.
function [bytes, status] = read_to_terminator(s, terminator, timeout)
  started = tic();
  width = numel(terminator);
  last = terminator(end);
  buffer = zeros(1, 512, 'uint8');
  count = 0;
  watch = 256;        % at this count the buffer may grow and the time is checked
  status = 0;
  waiting = false;    % the last Read left bytes waiting: a Read of one returns at once
  limit = s.ReadTimeout;
  original = [];      % the settings in force, once ReadTimeout is lowered
  restore = [];       % puts them back when this function ends
  while true
    if waiting && width == 1
      ask = 1;
      [data, result] = quorvel('Read', s, 1);
      if result == 4 && count < watch
        count = count + 1;
        buffer(count) = data;
        if data == last
          count = count - 1;
          break;
        end
        continue;
      end
    else
      remaining = timeout - toc(started);
      if remaining <= 0
        status = bitor(status, 8);
        break;
      end
      if limit > remaining + 0.01
        [limit, original, restore] = lower_wait_limit(s, remaining, original, restore);
      end
      ask = 1 + (width == 2 && (count == 0 || buffer(count) ~= terminator(1)));
      [data, result] = quorvel('Read', s, ask);
    end
    got = numel(data);
    buffer(count + 1:count + got) = data;
    count = count + got;
    if result ~= 0 && result ~= 4
      status = bitor(status, bitand(result, 1 + 2 + 32 + 64));
      if bitand(result, 2 + 64) ~= 0
        break;
      end
    end
    if got > 0 && buffer(count) == last && count >= width && (width == 1 || buffer(count - 1) == terminator(1))
      count = count - width;
      break;
    end
    if got < ask
      status = bitor(status, 8);
      break;
    end
    if count >= watch
      watch = count + 256;
      if numel(buffer) < watch + 2
        buffer(2 * watch) = 0;
      end
      if toc(started) > timeout
        status = bitor(status, 8);
        break;
      end
    end
    waiting = bitand(result, 4) ~= 0;
  end
  bytes = buffer(1:count);
end

% Lowers the port's ReadTimeout to what is left of the readline's time; the
% first time, the settings in force are kept, to be put back at the end.
function [wait_limit, original, restore] = lower_wait_limit(s, remaining, original, restore)
  if isempty(original)
    [settings, status] = quorvel('GetParams', s);
    wait_limit = 0;       % a closed port: the Read reports it
    if status == 0
      wait_limit = settings.ReadTimeout;
    end
    if wait_limit <= remaining + 0.01
      return;
    end
    original = vantrel(settings);
    restore = onCleanup(@() quorvel('SetParams', original));
  end
  wait_limit = max(ceil(remaining * 1000) / 1000, 0.001);
  lowered = original;
  lowered.ReadTimeout = wait_limit;
  quorvel('SetParams', lowered);
end
