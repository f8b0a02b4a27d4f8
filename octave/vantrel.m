% VANTREL  Build the settings structure of a serial port for quorvel.
%
%   s = vantrel()                          COM1 with the default settings
%   s = vantrel(port)                      port 'COM1' ... 'COM8', defaults
%   s = vantrel(port, name, value, ...)    defaults with some changed
%   s = vantrel(name, value, ...)          likewise; 'Port' is a property too
%   s = vantrel(s, name, value, ...)       a settings structure with changes
%
% The result is a plain structure with the eighteen properties below, in this
% order, which quorvel accepts as its port argument. Property names are
% matched ignoring case; unknown names and invalid values are rejected.
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
%   ReadTimeout     10        seconds a Read waits for missing bytes
%   WriteTimeout    10        seconds Close and FlushWrite wait for writes
%   RtsLine         'on'      'on' or 'off': the RTS line when no handshake
%   DtrLine         'on'      'on' or 'off': the DTR line when no handshake
%
% Example:
%   s = vantrel('COM3', 'BaudRate', 115200, 'Parity', 'even');
%   [s, status] = quorvel('Open', s);
%
% See also: quorvel.

function settings = vantrel (varargin)
  [settings, pairs] = starting_point (varargin);
  if (mod (numel (pairs), 2) != 0)
    error ("vantrel:arguments", "vantrel: properties come in name, value pairs");
  endif
  names = fieldnames (settings);
  for k = 1:2:numel (pairs)
    name = pairs{k};
    if (! ischar (name) || ! isrow (name))
      error ("vantrel:arguments", "vantrel: property names must be text, got a %s", class (name));
    endif
    index = find (strcmpi (name, names));
    if (isempty (index))
      error ("vantrel:unknownProperty", "vantrel: unknown property \"%s\"; the properties are %s",
             name, strjoin (names', ", "));
    endif
    settings.(names{index}) = checked_value (names{index}, pairs{k + 1});
  endfor
endfunction

function [settings, pairs] = starting_point (arguments)
  settings = default_settings ();
  pairs = arguments;
  if (isempty (arguments))
    return;
  endif
  first = arguments{1};
  if (isstruct (first))
    settings = from_structure (first, fieldnames (settings));
    pairs = arguments(2:end);
  elseif (mod (numel (arguments), 2) != 0 || (is_text (first) && strncmpi (first, "COM", 3)))
    settings.Port = checked_value ("Port", first);
    pairs = arguments(2:end);
  endif
endfunction

% A structure that quorvel accepts (the eighteen names first, in order, any
% case), checked value by value; further fields are dropped.
function settings = from_structure (given, names)
  given_names = fieldnames (given);
  if (! isscalar (given) || numel (given_names) < numel (names)
      || ! all (strcmpi (given_names(1:numel (names)), names)))
    error ("vantrel:arguments",
           "vantrel: a settings structure must be 1x1 and start with the eighteen properties in order");
  endif
  settings = struct ();
  for k = 1:numel (names)
    settings.(names{k}) = checked_value (names{k}, given.(given_names{k}));
  endfor
endfunction

function settings = default_settings ()
  settings = struct ("Port", "COM1", "BaudRate", 9600,
                     "RtsCtsEnable", "off", "XonXoffEnable", "off",
                     "DsrDtrEnable", "off", "UseErrorChar", "off",
                     "ByteSize", 8, "Parity", "none", "StopBits", 1,
                     "XonChar", char (17), "XoffChar", char (19), "ErrorChar", "",
                     "InBufferSize", 1024, "OutBufferSize", 1024,
                     "ReadTimeout", 10, "WriteTimeout", 10,
                     "RtsLine", "on", "DtrLine", "on");
endfunction

function value = checked_value (name, value)
  switch (name)
    case "Port"
      if (! is_text (value) || isempty (regexpi (value, '^COM[1-8]$', "once")))
        reject (name, value, "'COM1' ... 'COM8'");
      endif
      value = upper (value);
    case "BaudRate"
      value = whole_number (name, value, 1, 2^32 - 1, "a positive whole number");
    case {"RtsCtsEnable", "XonXoffEnable", "DsrDtrEnable", "UseErrorChar", "RtsLine", "DtrLine"}
      value = switch_value (name, value);
    case "ByteSize"
      value = whole_number (name, value, 5, 8, "5, 6, 7 or 8");
    case "Parity"
      choices = {"none", "odd", "even", "mark", "space"};
      if (! is_text (value) || ! any (strcmpi (value, choices)))
        reject (name, value, "'none', 'odd', 'even', 'mark' or 'space'");
      endif
      value = lower (value);
    case "StopBits"
      if (! is_number (value) || ! any (double (value) == [1 1.5 2]))
        reject (name, value, "1, 1.5 or 2");
      endif
      value = double (value);
    case {"XonChar", "XoffChar", "ErrorChar"}
      value = character_value (name, value);
    case {"InBufferSize", "OutBufferSize"}
      value = whole_number (name, value, 1, 2^31 - 1, "a positive whole number of bytes");
    case {"ReadTimeout", "WriteTimeout"}
      if (! is_number (value) || double (value) < 0 || double (value) * 1000 > 2^32 - 1)
        reject (name, value, "a time in seconds, 0 ... 4294967");
      endif
      value = double (value);
  endswitch
endfunction

function value = whole_number (name, value, low, high, accepted)
  if (! is_number (value))
    reject (name, value, accepted);
  endif
  value = double (value);
  if (value != fix (value) || value < low || value > high)
    reject (name, value, accepted);
  endif
endfunction

function value = switch_value (name, value)
  if ((islogical (value) || is_number (value)) && isscalar (value) && any (value == [0 1]))
    value = {"off", "on"}{value + 1};
  elseif (is_text (value) && any (strcmpi (value, {"on", "off"})))
    value = lower (value);
  else
    reject (name, value, "'on' or 'off'");
  endif
endfunction

function value = character_value (name, value)
  if (is_number (value) && value == fix (value) && value >= 0 && value <= 255)
    value = char (value);
  elseif (! ischar (value) || numel (value) > 1)
    reject (name, value, "one character, '' or a code 0 ... 255");
  endif
  if (isempty (value) || value == 0)
    value = "";
  endif
endfunction

function yes = is_text (value)
  yes = ischar (value) && (isrow (value) || isempty (value));
endfunction

function yes = is_number (value)
  yes = isnumeric (value) && isreal (value) && isscalar (value) && isfinite (value);
endfunction

function reject (name, value, accepted)
  if (ischar (value))
    shown = sprintf ("'%s'", value);
  elseif ((isnumeric (value) || islogical (value)) && isscalar (value))
    shown = num2str (value);
  else
    shown = sprintf ("a %dx%d %s", rows (value), columns (value), class (value));
  endif
  error ("vantrel:invalidValue", "vantrel: invalid %s %s; expected %s", name, shown, accepted);
endfunction
