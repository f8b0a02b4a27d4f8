function [reply, status] = quorvel_query(s, text, varargin)
% QUORVEL_QUERY  Send a line to an instrument and read the line it answers.
%
%   [reply, status] = quorvel_query(s, text)
%   [reply, status] = quorvel_query(s, text, 'Terminator', t, 'Timeout', seconds)
%
% quorvel_writeline(s, text), then quorvel_readline(s), with the same
% options ('Terminator', 'LF' by default, and 'Timeout', 10 s by default, for
% the answer). reply is the answer without its terminator, status that of
% the readline: 0 when the answer came, 8 when it did not end in time. When
% the write cannot start (status 2, not open, or 64), quorvel_query returns
% at once with an empty reply and that status.
%
% Example: three lines for an instrument that speaks SCPI
%   s = quorvel('Open', vantrel('COM3', 'BaudRate', 115200, 'ReadTimeout', 1));
%   [idn, status] = quorvel_query(s, '*IDN?')          % 0 and the identity
%   volts = str2double(quorvel_query(s, 'MEAS:VOLT?'));
%
% See also: quorvel_writeline, quorvel_readline, quorvel.

  options = quorvel_options('quorvel_query', {'Terminator', 'Timeout'}, varargin);
  % Passed on only when given: a plain query parses no options twice.
  terminator = {};
  timeout = {};
  if ~isempty(varargin)
    terminator = {'Terminator', options.Terminator};
    timeout = {'Timeout', options.Timeout};
  end
  status = quorvel_writeline(s, text, terminator{:});
  if bitand(status, 2 + 64) ~= 0
    reply = char(zeros(1, 0));
    status = bitand(status, 2 + 64);
    return;
  end
  [reply, status] = quorvel_readline(s, terminator{:}, timeout{:});
end
