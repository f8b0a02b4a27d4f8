% vantrel builds the eighteen-field settings structure, with overrides by
% name ignoring case, and refuses unknown names, invalid values and the
% frames devices refuse.
function test_vantrel ()
  use_module ();
  names = {"Port", "BaudRate", "RtsCtsEnable", "XonXoffEnable", "DsrDtrEnable", "UseErrorChar", ...
           "ByteSize", "Parity", "StopBits", "XonChar", "XoffChar", "ErrorChar", "InBufferSize", ...
           "OutBufferSize", "ReadTimeout", "WriteTimeout", "RtsLine", "DtrLine"};
  expect_equal (fieldnames (vantrel ())', names, "property order");
  overrides ();
  rejections ();
  frames ();
endfunction

function overrides ()
  % arguments, property, expected value
  cases = {
    {},                                   "Port",         "COM1"
    {"com3"},                             "Port",         "COM3"
    {"port", "Com8"},                     "Port",         "COM8"
    {"COM2", "baudrate", 115200},         "BaudRate",     115200
    {"BAUDRATE", int32(19200)},           "BaudRate",     19200
    {"Parity", "EVEN"},                   "Parity",       "even"
    {"RtsCtsEnable", true},               "RtsCtsEnable", "on"
    {"DtrLine", 0},                       "DtrLine",      "off"
    {"XonXoffEnable", "ON"},              "XonXoffEnable", "on"
    {"StopBits", 1.5, "ByteSize", 5},     "StopBits",     1.5
    {"ByteSize", 7},                      "ByteSize",     7
    {"XonChar", 65},                      "XonChar",      "A"
    {"ErrorChar", 0},                     "ErrorChar",    ""
    {"XoffChar", "x"},                    "XoffChar",     "x"
    {"ReadTimeout", 0.25},                "ReadTimeout",  0.25
    {"ReadTimeout", 4294967.294},         "ReadTimeout",  4294967.294
    {"WriteTimeout", 0},                  "WriteTimeout", 0
    {"InBufferSize", 4096},               "InBufferSize", 4096
  };
  for k = 1:rows (cases)
    settings = vantrel (cases{k, 1}{:});
    expect_equal (settings.(cases{k, 2}), cases{k, 3}, sprintf ("override case %d", k));
    expect_equal (class (settings.(cases{k, 2})), class (cases{k, 3}), sprintf ("class, override case %d", k));
  endfor

  % A settings structure as the starting point keeps its values; further
  % fields are dropped.
  given = vantrel ("COM4", "BaudRate", 57600);
  given.Extra = 1;
  changed = vantrel (given, "Parity", "odd");
  expect_equal ({changed.Port, changed.BaudRate, changed.Parity}, {"COM4", 57600, "odd"}, "changed structure");
  expect_equal (numel (fieldnames (changed)), 18, "fields of a changed structure");

  % A structure reported under both handshakes: 'handshake' reads as 'on'.
  reported = vantrel ("RtsCtsEnable", "on", "DsrDtrEnable", "on");
  reported.RtsLine = "handshake";
  reported.DtrLine = "HANDSHAKE";
  for again = {vantrel(reported), vantrel(reported, "BaudRate", 19200)}
    expect_equal ({again{1}.RtsLine, again{1}.DtrLine}, {"on", "on"}, "lines of a reported handshake");
  endfor
endfunction

% Every pairing of data bits and stop bits: 1.5 stop bits only with 5 data
% bits, 2 stop bits not with 5.
function frames ()
  for byte_size = 5:8
    for stop_bits = [1 1.5 2]
      refused = (stop_bits == 1.5 && byte_size != 5) || (stop_bits == 2 && byte_size == 5);
      label = sprintf ("ByteSize %d with StopBits %g", byte_size, stop_bits);
      try
        vantrel ("ByteSize", byte_size, "StopBits", stop_bits);
        failure = "";
      catch caught
        failure = caught.message;
      end_try_catch
      if (refused)
        expected = sprintf ("vantrel: StopBits %g with ByteSize %d is refused by devices (status 16): ", ...
                            stop_bits, byte_size);
        expect_equal (failure, [expected "1.5 stop bits go only with 5 data bits, 2 stop bits not with 5"], label);
      else
        expect_equal (failure, "", label);
      endif
    endfor
  endfor
endfunction

function rejections ()
  % arguments, start of the expected message
  cases = {
    {"COM9"},                        "vantrel: invalid Port 'COM9'"
    {"Port", "COM10"},               "vantrel: invalid Port 'COM10'"
    {"Port", 1},                     "vantrel: invalid Port 1"
    {"Speed", 9600},                 "vantrel: unknown property 'Speed'"
    {"COM1", "BaudRate"},            "vantrel: properties come in name, value pairs"
    {"BaudRate", 0},                 "vantrel: invalid BaudRate 0"
    {"BaudRate", 9600.5},            "vantrel: invalid BaudRate 9600.5"
    {"BaudRate", "fast"},            "vantrel: invalid BaudRate 'fast'"
    {"ByteSize", 9},                 "vantrel: invalid ByteSize 9"
    {"Parity", "ev"},                "vantrel: invalid Parity 'ev'"
    {"StopBits", 3},                 "vantrel: invalid StopBits 3"
    {"RtsLine", "handshake"},        "vantrel: invalid RtsLine 'handshake'"
    {"DsrDtrEnable", 2},             "vantrel: invalid DsrDtrEnable 2"
    {"XonChar", "ab"},               "vantrel: invalid XonChar 'ab'"
    {"XoffChar", 256},               "vantrel: invalid XoffChar 256"
    {"InBufferSize", -1},            "vantrel: invalid InBufferSize -1"
    {"ReadTimeout", -0.5},           "vantrel: invalid ReadTimeout -0.5"
    {"ReadTimeout", 4294967.295},    "vantrel: invalid ReadTimeout 4294967.295; expected a time in seconds, 0 ... 4294967.294"
    {"WriteTimeout", Inf},           "vantrel: invalid WriteTimeout Inf"
    {"ReadTimeout", [1 2]},          "vantrel: invalid ReadTimeout a 1x2 double"
    {5, 1},                          "vantrel: property names must be text"
    {struct("Port", "COM1")},        "vantrel: a settings structure must be 1x1"
  };
  for k = 1:rows (cases)
    try
      vantrel (cases{k, 1}{:});
      failure = "";
    catch caught
      failure = caught.message;
    end_try_catch
    expected = cases{k, 2};
    if (! strncmp (failure, expected, numel (expected)))
      error ("rejection case %d: got \"%s\", expected \"%s...\"", k, failure, expected);
    endif
  endfor
endfunction
