function settings = vantrel(varargin)
% VANTREL  Build the settings structure of a serial port for quorvel.
%
%   s = vantrel()                          COM1 with the default settings
%   s = vantrel(port)                      port 'COM1' ... 'COM8', defaults
%   s = vantrel(port, name, value, ...)    defaults with some changed
%   s = vantrel(name, value, ...)          likewise; 'Port' is a property too
%   s = vantrel(s)                         a settings structure, checked
%   s = vantrel(s, name, value, ...)       a settings structure with changes
%
% The result is a plain structure with the eighteen properties below, in this
% order, which quorvel accepts as its port argument. vantrel checks
% everything: property names are matched ignoring case, and unknown names,
% invalid values and the frames a device refuses are rejected with an error.
%
%   Property        Default   Accepted values
%   Port            'COM1'    'COM1' ... 'COM8'
%   BaudRate        9600      a positive whole number (bits per second)
%   RtsCtsEnable    'off'     'on' or 'off' (or true/false): RTS/CTS handshake
%   XonXoffEnable   'off'     'on' or 'off': XON/XOFF flow control
%   DsrDtrEnable    'off'     'on' or 'off': DSR/DTR handshake
%   UseErrorChar    'off'     'on' or 'off': replace bytes with parity errors
%   ByteSize        8         5, 6, 7 or 8 data bits
%   Parity          'none'    'none', 'odd', 'even', 'mark' or 'space'
%   StopBits        1         1, 1.5 or 2
%   XonChar         char(17)  one character, '' or a code 0 ... 255
%   XoffChar        char(19)  likewise
%   ErrorChar       ''        likewise
%   InBufferSize    1024      driver input queue size, bytes
%   OutBufferSize   1024      driver output queue size, bytes
%   ReadTimeout     10        0 ... 4294967.294: the longest gap, in seconds,
%                             a Read waits between bytes; 0 returns at once
%   WriteTimeout    10        0 ... 4294967: seconds Close and FlushWrite
%                             wait for writes
%   RtsLine         'on'      'on' or 'off': the RTS line when no handshake
%   DtrLine         'on'      'on' or 'off': the DTR line when no handshake
%
% Handshake: with RtsCtsEnable 'on' the driver holds RTS itself, raised while
% it can take more input, and sends only while CTS is raised; DsrDtrEnable
% 'on' does the same with DTR and DSR. quorvel then reports that line as
% 'handshake'. vantrel(s) turns such a 'handshake' back into 'on', since the
% switch decides the line anyway, so a structure quorvel returned can always
% be edited and passed on.
%
% Frames a device refuses: 1.5 stop bits go only with 5 data bits, and 2 stop
% bits not with 5. quorvel answers them with status 16 (configuration
% failed); vantrel rejects them.
%
% Fields edited directly in the structure (s.BaudRate = 115200) are not
% checked: quorvel refuses only a value of the wrong kind or an unknown
% keyword, and takes numbers as they are. A misspelled field name
% (s.Baudrate = 115200) is simply an extra field, which quorvel ignores: the
% port keeps its old speed. Pass an edited structure through vantrel(s) to
% have everything checked.
%
% Example:
%   s = vantrel('COM3', 'BaudRate', 115200, 'Parity', 'even');
%   [s, status] = quorvel('Open', s);
%
% See also: quorvel.

  [settings, pairs] = starting_point(varargin);
  if mod(numel(pairs), 2) ~= 0
    error('vantrel:arguments', 'vantrel: properties come in name, value pairs');
  end
  names = fieldnames(settings);
  for k = 1:2:numel(pairs)
    name = pairs{k};
    if ~ischar(name) || ~isrow(name)
      error('vantrel:arguments', 'vantrel: property names must be text, got a %s', class(name));
    end
    index = find(strcmpi(name, names));
    if isempty(index)
      error('vantrel:unknownProperty', 'vantrel: unknown property ''%s''; the properties are %s', ...
            name, strjoin(names', ', '));
    end
    settings.(names{index}) = checked_value(names{index}, pairs{k + 1});
  end
  check_frame(settings);
end

function [settings, pairs] = starting_point(given)
  settings = default_settings();
  pairs = given;
  if isempty(given)
    return;
  end
  first = given{1};
  if isstruct(first)
    settings = from_structure(first, fieldnames(settings));
    pairs = given(2:end);
  elseif mod(numel(given), 2) ~= 0 || (is_text(first) && strncmpi(first, 'COM', 3))
    settings.Port = checked_value('Port', first);
    pairs = given(2:end);
  end
end

% A structure that quorvel accepts (the eighteen names first, in order, any
% case), checked value by value; further fields are dropped.
function settings = from_structure(given, names)
  given_names = fieldnames(given);
  if ~isscalar(given) || numel(given_names) < numel(names) ...
      || ~all(strcmpi(given_names(1:numel(names)), names))
    error('vantrel:arguments', ...
          'vantrel: a settings structure must be 1x1 and start with the eighteen properties in order');
  end
  settings = struct();
  for k = 1:numel(names)
    settings.(names{k}) = checked_value(names{k}, without_handshake(names{k}, given.(given_names{k})));
  end
end

% quorvel reports a line under a handshake as 'handshake'; set, it reads 'on'.
function value = without_handshake(name, value)
  if any(strcmp(name, {'RtsLine', 'DtrLine'})) && is_text(value) && strcmpi(value, 'handshake')
    value = 'on';
  end
end

function settings = default_settings()
  settings = struct('Port', 'COM1', 'BaudRate', 9600, ...
                    'RtsCtsEnable', 'off', 'XonXoffEnable', 'off', ...
                    'DsrDtrEnable', 'off', 'UseErrorChar', 'off', ...
                    'ByteSize', 8, 'Parity', 'none', 'StopBits', 1, ...
                    'XonChar', char(17), 'XoffChar', char(19), 'ErrorChar', '', ...
                    'InBufferSize', 1024, 'OutBufferSize', 1024, ...
                    'ReadTimeout', 10, 'WriteTimeout', 10, ...
                    'RtsLine', 'on', 'DtrLine', 'on');
end

% Every device refuses these frames, so they would only come back as status 16.
function check_frame(settings)
  if (settings.StopBits == 1.5 && settings.ByteSize ~= 5) || (settings.StopBits == 2 && settings.ByteSize == 5)
    error('vantrel:refusedFrame', ['vantrel: StopBits %g with ByteSize %d is refused by devices ' ...
          '(status 16): 1.5 stop bits go only with 5 data bits, 2 stop bits not with 5'], ...
          settings.StopBits, settings.ByteSize);
  end
end

function value = checked_value(name, value)
  switch name
    case 'Port'
      if ~is_text(value) || isempty(regexpi(value, '^COM[1-8]$', 'once'))
        reject(name, value, '''COM1'' ... ''COM8''');
      end
      value = upper(value);
    case 'BaudRate'
      value = whole_number(name, value, 1, 2^32 - 1, 'a positive whole number');
    case {'RtsCtsEnable', 'XonXoffEnable', 'DsrDtrEnable', 'UseErrorChar', 'RtsLine', 'DtrLine'}
      value = switch_value(name, value);
    case 'ByteSize'
      value = whole_number(name, value, 5, 8, '5, 6, 7 or 8');
    case 'Parity'
      choices = {'none', 'odd', 'even', 'mark', 'space'};
      if ~is_text(value) || ~any(strcmpi(value, choices))
        reject(name, value, '''none'', ''odd'', ''even'', ''mark'' or ''space''');
      end
      value = lower(value);
    case 'StopBits'
      if ~is_number(value) || ~any(double(value) == [1 1.5 2])
        reject(name, value, '1, 1.5 or 2');
      end
      value = double(value);
    case {'XonChar', 'XoffChar', 'ErrorChar'}
      value = character_value(name, value);
    case {'InBufferSize', 'OutBufferSize'}
      value = whole_number(name, value, 1, 2^31 - 1, 'a positive whole number of bytes');
    case 'ReadTimeout'
      % 4294967.295 s would be the serial API's "return at once" in milliseconds.
      value = seconds(name, value, 2^32 - 2, '0 ... 4294967.294');
    case 'WriteTimeout'
      value = seconds(name, value, 2^32 - 1, '0 ... 4294967');
  end
end

function value = seconds(name, value, most_milliseconds, range)
  if ~is_number(value) || double(value) < 0 || double(value) * 1000 > most_milliseconds
    reject(name, value, ['a time in seconds, ' range]);
  end
  value = double(value);
end

function value = whole_number(name, value, low, high, accepted)
  if ~is_number(value)
    reject(name, value, accepted);
  end
  value = double(value);
  if value ~= fix(value) || value < low || value > high
    reject(name, value, accepted);
  end
end

function value = switch_value(name, value)
  choices = {'off', 'on'};
  if (islogical(value) || is_number(value)) && isscalar(value) && any(value == [0 1])
    value = choices{double(value) + 1};
  elseif is_text(value) && any(strcmpi(value, choices))
    value = lower(value);
  else
    reject(name, value, '''on'' or ''off''');
  end
end

function value = character_value(name, value)
  if is_number(value) && value == fix(value) && value >= 0 && value <= 255
    value = char(value);
  elseif ~ischar(value) || numel(value) > 1
    reject(name, value, 'one character, '''' or a code 0 ... 255');
  end
  if isempty(value) || value == 0
    value = '';
  end
end

function yes = is_text(value)
  yes = ischar(value) && (isrow(value) || isempty(value));
end

function yes = is_number(value)
  yes = isnumeric(value) && isreal(value) && isscalar(value) && isfinite(value);
end

function reject(name, value, accepted)
  if ischar(value)
    shown = sprintf('''%s''', value);
  elseif (isnumeric(value) || islogical(value)) && isscalar(value)
    shown = num2str(value);
  else
    shown = sprintf('a %dx%d %s', size(value, 1), size(value, 2), class(value));
  end
  error('vantrel:invalidValue', 'vantrel: invalid %s %s; expected %s', name, shown, accepted);
end
