function [values, status, partial] = quorvel_read(s, count, precision, varargin)
% QUORVEL_READ  Read count binary values of a numeric type from an open port.
%
%   [values, status] = quorvel_read(s, count, precision)
%   [values, status] = quorvel_read(s, count, precision, 'ByteOrder', 'big-endian')
%   [values, status, partial] = quorvel_read(...)
%
% Reads count values of precision ('uint8', 'int16', 'uint16', 'int32',
% 'uint32', 'single' or 'double': 1, 2, 4 or 8 bytes each) with one
% quorvel('Read', s, bytes), and returns them as a 1xN row of that class.
% Option 'ByteOrder': 'little-endian' (the default) or 'big-endian', the
% order in which the device sends each value's bytes.
%
% status is Read's: 0 when all came, 4 added when more bytes wait. When
% fewer bytes came before ReadTimeout, values holds the whole values that
% came and status has 8. The bytes of a trailing partial value are taken
% from the port all the same: they are returned as partial (a uint8 row,
% empty unless status has 8), and dropped when partial is not asked for.
%
% Example: 100 samples a device sends as big-endian 16-bit integers
%   [samples, status] = quorvel_read(s, 100, 'int16', 'ByteOrder', 'big-endian');
%
% See also: quorvel_readline, quorvel.

  options = quorvel_options('quorvel_read', {'ByteOrder'}, varargin);
  sizes = struct('uint8', 1, 'int16', 2, 'uint16', 2, 'int32', 4, 'uint32', 4, 'single', 4, 'double', 8);
  if ~ischar(precision) || ~isrow(precision) || ~isfield(sizes, precision)
    error('quorvel_read:invalidValue', ['quorvel_read: precision must be ''uint8'', ''int16'', ' ...
          '''uint16'', ''int32'', ''uint32'', ''single'' or ''double''']);
  end
  if ~isnumeric(count) || ~isreal(count) || ~isscalar(count) || ~(count >= 0) || count ~= fix(count)
    error('quorvel_read:invalidValue', 'quorvel_read: count must be a whole number of values, 0 or more');
  end
  width = sizes.(precision);
  [bytes, status] = quorvel('Read', s, double(count) * width);
  whole = floor(numel(bytes) / width) * width;
  partial = bytes(whole + 1:end);
  values = typecast(bytes(1:whole), precision);
  [~, ~, native] = computer();
  if width > 1 && ~strcmp(options.ByteOrder(1), lower(native))
    values = swapbytes(values);
  end
  values = reshape(values, 1, []);
end
