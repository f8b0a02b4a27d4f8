function options = quorvel_options(caller, names, pairs)
% QUORVEL_OPTIONS  The options of quorvel's line and typed-data functions.
%
%   options = quorvel_options(caller, names, pairs)
%
% quorvel_writeline, quorvel_readline, quorvel_query and quorvel_read pass
% their name, value pairs here; scripts need not call it. names lists the
% options the caller takes; pairs is its cell of name, value pairs. Names are
% matched ignoring case, and a bad option stops with a message that starts
% with the caller's name. The result holds every option, with its default
% where none was given:
%
%   Option      Default          Accepted values
%   Terminator  'LF'             'LF', 'CR', 'CR/LF', one character or a byte
%                                0 ... 255; returned as the characters sent
%   Timeout     10               seconds a whole readline may take, more than 0
%                                (Inf: no limit beyond ReadTimeout)
%   ByteOrder   'little-endian'  'little-endian' or 'big-endian'
%
% See also: quorvel_readline, quorvel_read.

  options = struct('Terminator', char(10), 'Timeout', 10, 'ByteOrder', 'little-endian');
  if isempty(pairs)
    return;
  end
  if mod(numel(pairs), 2) ~= 0
    error([caller ':arguments'], '%s: options come in name, value pairs', caller);
  end
  for k = 1:2:numel(pairs)
    name = pairs{k};
    if ~ischar(name) || ~isrow(name)
      error([caller ':arguments'], '%s: option names must be text, got a %s', caller, class(name));
    end
    index = find(strcmpi(name, names));
    if isempty(index)
      error([caller ':unknownOption'], '%s: unknown option ''%s''; the options are %s', ...
            caller, name, strjoin(names, ', '));
    end
    options.(names{index}) = checked_value(caller, names{index}, pairs{k + 1});
  end
end

function value = checked_value(caller, name, value)
  switch name
    case 'Terminator'
      value = terminator_value(caller, value);
    case 'Timeout'
      if ~isnumeric(value) || ~isreal(value) || ~isscalar(value) || ~(value > 0)
        reject(caller, name, value, 'a time in seconds, more than 0 (Inf for no limit)');
      end
      value = double(value);
    case 'ByteOrder'
      choices = {'little-endian', 'big-endian'};
      if ~ischar(value) || ~any(strcmpi(value, choices))
        reject(caller, name, value, '''little-endian'' or ''big-endian''');
      end
      value = lower(value);
  end
end

% The characters a terminator stands for; sprintf('\r\n') is CR/LF too.
function value = terminator_value(caller, value)
  if ischar(value) && isrow(value)
    switch upper(value)
      case 'LF'
        value = char(10);
      case 'CR'
        value = char(13);
      case {'CR/LF', char([13 10])}
        value = char([13 10]);
      otherwise
        if numel(value) ~= 1
          reject(caller, 'Terminator', value, terminators_accepted());
        end
    end
  elseif isnumeric(value) && isreal(value) && isscalar(value) && any(value == 0:255)
    value = char(value);
  else
    reject(caller, 'Terminator', value, terminators_accepted());
  end
end

function text = terminators_accepted()
  text = '''LF'', ''CR'', ''CR/LF'', one character or a byte 0 ... 255';
end

function reject(caller, name, value, accepted)
  if ischar(value) && (isrow(value) || isempty(value))
    shown = sprintf('''%s''', value);
  elseif (isnumeric(value) || islogical(value)) && isscalar(value)
    shown = num2str(value);
  else
    shown = sprintf('a %dx%d %s', size(value, 1), size(value, 2), class(value));
  end
  error([caller ':invalidValue'], '%s: invalid %s %s; expected %s', caller, name, shown, accepted);
end
