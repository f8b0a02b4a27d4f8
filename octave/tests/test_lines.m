% Lines and typed values over COM1, with COM2 (the far end of the pair, or
% a shell writing into it) as the device: a readline takes exactly its line
% and leaves every later byte to the next Read, ends at its Timeout with
% what came, and typed reads put the bytes in either order.
function test_lines ()
  use_module ();
  [folder, cleanup] = null_modems ({"com1", "com2"});
  a = open_port ("COM1", 1);
  b = open_port ("COM2", 1);
  lines_sent_at_once (a, b);
  line_in_pieces (a, folder);
  unended_lines (a, b);
  query (a, b);
  typed_reads (a, b);
  bad_options (a);
  quorvel ("CloseAll");
  closed_port (a);
endfunction

function s = open_port (name, read_timeout)
  [s, status] = quorvel ("Open", vantrel (name, "ReadTimeout", read_timeout));
  expect_equal (status, 0, ["open " name]);
endfunction

function send (b, a, bytes)
  quorvel ("Write", b, uint8 (bytes));
  wait_until (@() quorvel ("GetReadStatus", a) >= numel (bytes), 5, "bytes did not arrive");
endfunction

% Everything sent before the first readline: each readline must stop at its
% terminator, so that the lines after it and the rest stay in the port, and
% return there rather than wait out ReadTimeout (1 s).
function lines_sent_at_once (a, b)
  % bytes sent, options, lines expected, bytes a Read then finds
  cases = {
    "one\ntwo\nrest",            {},                        {"one", "two"},           "rest"
    "\n\nx",                     {},                        {"", ""},                 "x"
    "a\r\nb\rc\r\n\r\nz",        {"Terminator", "CR/LF"},   {"a", "b\rc", ""},        "z"
    "x\0y\rz\n",                 {"terminator", "cr"},      {"x\0y"},                 "z\n"
    [1 0 2 255 3 0 9 255 7],     {"Terminator", 255},       {char([1 0 2]), char([3 0 9])}, char(7)
    "key=value;more",            {"Terminator", "="},       {"key"},                  "value;more"
  };
  for k = 1:rows (cases)
    [sent, options, expected, rest] = cases{k, :};
    send (b, a, sent);
    for n = 1:numel (expected)
      label = sprintf ("case %d, line %d", k, n);
      started = tic ();
      [line, status] = quorvel_readline (a, options{:});
      assert (toc (started) < 0.5, "%s waited for its time-out", label);
      expect_equal ({line, status}, {[char(zeros (1, 0)), expected{n}], 0}, label);
    endfor
    [left, status] = quorvel ("Read", a);
    expect_equal ({char(left), status}, {rest, 0}, sprintf ("case %d, the bytes after the lines", k));
  endfor
endfunction

% A shell writes the answer in three pieces, 0.3 s apart (less than
% ReadTimeout): the readline waits for each and ends at the terminator, and
% the byte after it stays.
function line_in_pieces (a, folder)
  writer = sprintf ("exec sh -c 'printf ab; sleep 0.3; printf cd; sleep 0.3; printf \"ef\\nN\"' > '%s'",
                    fullfile (folder, "com2"));
  pid = system (writer, false, "async");
  [line, status] = quorvel_readline (a);
  waitpid (pid);
  expect_equal ({line, status}, {"abcdef", 0}, "a line in pieces");
  [left, status] = quorvel ("Read", a, 1);
  expect_equal ({char(left), status}, {"N", 0}, "the byte after a line in pieces");
endfunction

% No terminator: the readline ends with 8 and what came, at Timeout when
% that comes first (ReadTimeout lowered meanwhile and then restored), else
% at ReadTimeout.
function unended_lines (a, b)
  % bytes sent, Timeout, least and most seconds
  cases = {
    "abc", 0.4,  0.35, 0.9
    "de",  5,    0.9,  2.5
  };
  for k = 1:rows (cases)
    [sent, timeout, least, most] = cases{k, :};
    send (b, a, sent);
    started = tic ();
    [line, status] = quorvel_readline (a, "Timeout", timeout);
    elapsed = toc (started);
    label = sprintf ("unended line %d", k);
    expect_equal ({line, status}, {sent, 8}, label);
    assert (elapsed >= least && elapsed <= most, "%s ended after %.3f s", label, elapsed);
    expect_equal (nthargout (1, @quorvel, "GetParams", a).ReadTimeout, 1, [label ": ReadTimeout after it"]);
  endfor
endfunction

% The answer is waiting before the question: the query sends its line and
% reads exactly one.
function query (a, b)
  send (b, a, "4.2E+00\r\nnext");
  [reply, status] = quorvel_query (a, "MEAS?", "Terminator", "CR/LF");
  expect_equal ({reply, status}, {"4.2E+00", 0}, "query");
  [question, status] = quorvel ("Read", b, 7);
  expect_equal ({char(question), status}, {"MEAS?\r\n", 0}, "the line the query sent");
  expect_equal (char (quorvel ("Read", a, 4)), "next", "the bytes after the answer");
endfunction

function typed_reads (a, b)
  % bytes sent, count, precision, byte order, values, status, bytes of a partial value
  cases = {
    [1 0 2 1],                       2, "uint16", "little-endian", uint16([1 258]),       0, []
    [0 1 1 2],                       2, "uint16", "big-endian",    uint16([1 258]),       0, []
    [255 255 255 254 0 0 0 5],       2, "int32",  "big-endian",    int32([-2 5]),         0, []
    [254 255 255 255],               1, "int32",  "little-endian", int32(-2),             0, []
    [255 127],                       1, "int16",  "little-endian", int16(32767),          0, []
    [0 0 128 63 0 0 0 192],          2, "single", "little-endian", single([1 -2]),        0, []
    [63 240 0 0 0 0 0 0],            1, "double", "big-endian",    1,                     0, []
    [200 7],                         2, "uint8",  "big-endian",    uint8([200 7]),        0, []
    [0 0 0 7 0 0 0],                 3, "uint32", "big-endian",    uint32(7),             8, [0 0 0]
    [9],                             1, "double", "little-endian", zeros(1, 0),           8, 9
  };
  for k = 1:rows (cases)
    [sent, count, precision, order, expected, status_expected, partial_expected] = cases{k, :};
    send (b, a, sent);
    [values, status, partial] = quorvel_read (a, count, precision, "ByteOrder", order);
    expect_equal ({values, class(values), status, partial}, ...
                  {expected, precision, status_expected, reshape(uint8 (partial_expected), 1, [])}, ...
                  sprintf ("typed read %d (%s, %s)", k, precision, order));
  endfor
  expect_equal (nthargout (1:2, @quorvel_read, a, 0, "single"), {zeros(1, 0, "single"), 0}, "typed read of 0");
endfunction

function bad_options (a)
  % call, message
  cases = {
    @() quorvel_readline (a, "Terminator", "LFX"), ...
    "quorvel_readline: invalid Terminator 'LFX'; expected 'LF', 'CR', 'CR/LF', one character or a byte 0 ... 255"
    @() quorvel_readline (a, "Terminator", 256), ...
    "quorvel_readline: invalid Terminator 256; expected 'LF', 'CR', 'CR/LF', one character or a byte 0 ... 255"
    @() quorvel_readline (a, "Timeout", 0), ...
    "quorvel_readline: invalid Timeout 0; expected a time in seconds, more than 0 (Inf for no limit)"
    @() quorvel_query (a, "x", "Timeout", [1 2]), ...
    "quorvel_query: invalid Timeout a 1x2 double; expected a time in seconds, more than 0 (Inf for no limit)"
    @() quorvel_query (a, "x", "Bogus", 1), ...
    "quorvel_query: unknown option 'Bogus'; the options are Terminator, Timeout"
    @() quorvel_writeline (a, "x", "Timeout", 1), ...
    "quorvel_writeline: unknown option 'Timeout'; the options are Terminator"
    @() quorvel_writeline (a, "x", "Terminator"), ...
    "quorvel_writeline: options come in name, value pairs"
    @() quorvel_writeline (a, "x", 3, "LF"), ...
    "quorvel_writeline: option names must be text, got a double"
    @() quorvel_writeline (a, [1 2]), ...
    "quorvel_writeline: text must be a char row of codes 0 ... 255, got a 1x2 double"
    @() quorvel_read (a, 2, "int16", "ByteOrder", "middle"), ...
    "quorvel_read: invalid ByteOrder 'middle'; expected 'little-endian' or 'big-endian'"
    @() quorvel_read (a, 2, "int64"), ...
    "quorvel_read: precision must be 'uint8', 'int16', 'uint16', 'int32', 'uint32', 'single' or 'double'"
    @() quorvel_read (a, 1.5, "int16"), ...
    "quorvel_read: count must be a whole number of values, 0 or more"
  };
  for k = 1:rows (cases)
    assert_error (cases{k, 1}, cases{k, 2}, 0, sprintf ("bad option %d", k));
  endfor
endfunction

function closed_port (a)
  % call, outputs expected
  cases = {
    @() quorvel_writeline (a, "x"),         {2}
    @() quorvel_readline (a),               {char(zeros (1, 0)), 2}
    @() quorvel_query (a, "x"),             {char(zeros (1, 0)), 2}
    @() quorvel_read (a, 2, "int16"),       {zeros(1, 0, "int16"), 2}
  };
  for k = 1:rows (cases)
    outputs = cell (1, numel (cases{k, 2}));
    [outputs{:}] = cases{k, 1} ();
    expect_equal (outputs, cases{k, 2}, sprintf ("closed port, call %d", k));
  endfor
endfunction
