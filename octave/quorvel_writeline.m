function status = quorvel_writeline(s, text, varargin)
% QUORVEL_WRITELINE  Write a line of text and its terminator to an open port.
%
%   status = quorvel_writeline(s, text)
%   status = quorvel_writeline(s, text, 'Terminator', t)
%
% Queues text (a char row of codes 0 ... 255) followed by the terminator,
% as one quorvel('Write', ...), and answers Write's status: 4 while the bytes
% are in flight, 0 once sent, 2 when the port is not open, 64 when the write
% could not start.
%
% Option:
%   'Terminator'  'LF' (the default), 'CR', 'CR/LF', one character, or a byte
%                 0 ... 255.
%
% Example:
%   quorvel_writeline(s, '*RST');
%   quorvel_writeline(s, 'SYST:REM', 'Terminator', 'CR/LF');
%
% See also: quorvel_readline, quorvel_query, quorvel.

  options = quorvel_options('quorvel_writeline', {'Terminator'}, varargin);
  if ~ischar(text) || ~(isrow(text) || isempty(text)) || any(text > 255)
    error('quorvel_writeline:invalidValue', ...
          'quorvel_writeline: text must be a char row of codes 0 ... 255, got a %dx%d %s', ...
          size(text, 1), size(text, 2), class(text));
  end
  status = quorvel('Write', s, uint8([text, options.Terminator]));
end
