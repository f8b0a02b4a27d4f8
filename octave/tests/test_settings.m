% The settings the module reports and stores: defaults, never-opened slots,
% conversions of accepted values, port selection, and parses that fail
% without storing anything. No device is opened.
function test_settings ()
  use_module ();
  defaults ();
  conversions ();
  selection ();
  failed_parses_store_nothing ();
endfunction

function defaults ()
  for keyword = {"default", "DEFAULT", "Default"}
    [reported, status] = quorvel ("GetParams", keyword{1});
    expect_equal (reported, vantrel (), ["defaults for " keyword{1}]);
    expect_equal (status, 2, "status of the defaults");
  endfor
  never_opened = struct ("Port", "COM5", "BaudRate", 0, "RtsCtsEnable", "off", "XonXoffEnable", "off",
                         "DsrDtrEnable", "off", "UseErrorChar", "off", "ByteSize", 0, "Parity", "none",
                         "StopBits", 1, "XonChar", "", "XoffChar", "", "ErrorChar", "",
                         "InBufferSize", 0, "OutBufferSize", 0, "ReadTimeout", 0, "WriteTimeout", 0,
                         "RtsLine", "off", "DtrLine", "off");
  [reported, status] = quorvel ("GetParams", vantrel ("COM5"));
  expect_equal ({reported, status}, {never_opened, 2}, "a slot never opened");

  % Whatever vantrel accepts comes back unchanged.
  wanted = vantrel ("COM6", "BaudRate", 115200, "XonXoffEnable", "on", "UseErrorChar", "on",
                    "ByteSize", 7, "Parity", "odd", "StopBits", 2, "XonChar", "a", "XoffChar", "b",
                    "ErrorChar", "?", "InBufferSize", 4096, "OutBufferSize", 512,
                    "ReadTimeout", 0.25, "WriteTimeout", 3, "RtsLine", "off", "DtrLine", "off");
  [reported, status] = quorvel ("SetParams", wanted);
  expect_equal ({reported, status}, {wanted, 2}, "settings stored on a closed port");
  expect_equal (quorvel ("GetParams", wanted), wanted, "settings reported afterwards");
endfunction

function conversions ()
  % property, value given, property reported, value reported
  cases = {
    "BaudRate",      -1,       "BaudRate",      4294967295
    "BaudRate",      2400.9,   "BaudRate",      2400
    "ByteSize",      -1,       "ByteSize",      255
    "StopBits",      1.5,      "StopBits",      1.5
    "StopBits",      0.5,      "StopBits",      128.5
    "StopBits",      3,        "StopBits",      3
    "ReadTimeout",   0.5,      "ReadTimeout",   0.5
    "ReadTimeout",   0.0004,   "ReadTimeout",   0
    "ReadTimeout",   1.001,    "ReadTimeout",   1
    "WriteTimeout",  2.5,      "WriteTimeout",  2.5
    "InBufferSize",  4096.7,   "InBufferSize",  4096
    "Parity",        "EVEN",   "Parity",        "even"
    "XonXoffEnable", "ON",     "XonXoffEnable", "on"
    "RtsCtsEnable",  "on",     "RtsLine",       "handshake"
    "DsrDtrEnable",  "on",     "DtrLine",       "handshake"
    "XonChar",       "",       "XonChar",       ""
    "ErrorChar",     "~",      "ErrorChar",     "~"
  };
  for k = 1:rows (cases)
    given = vantrel ("COM7");
    given.(cases{k, 1}) = cases{k, 2};
    reported = quorvel ("SetParams", given);
    expect_equal (reported.(cases{k, 3}), cases{k, 4}, sprintf ("conversion case %d (%s)", k, cases{k, 1}));
  endfor

  % A reported handshake line mode is no value to give back.
  given = vantrel ("COM7", "RtsCtsEnable", "on");
  reported = quorvel ("SetParams", given);
  assert_error (@() quorvel ("SetParams", reported), "quorvel: Invalid \"RtsLine\" property value.", 0,
                "a reported handshake passed back");
  % Through vantrel it is one again.
  expect_equal (quorvel ("SetParams", vantrel (reported)), reported, "a reported handshake through vantrel");
endfunction

function selection ()
  lower_names = cell2struct (struct2cell (vantrel ("COM2", "BaudRate", 1200)), lower (fieldnames (vantrel ())));
  extra_fields = vantrel ("COM3", "BaudRate", 2400);
  extra_fields.Note = "ignored";
  extra_fields.More = 1;
  array = [vantrel("COM4", "BaudRate", 4800), vantrel("COM8", "BaudRate", 300)];
  com10 = vantrel ("COM1");
  com10.Port = "COM10";
  % settings given, port reported, baud rate reported
  cases = {
    lower_names,                  "COM2", 1200
    extra_fields,                 "COM3", 2400
    array,                        "COM4", 4800
    com10,                        "COM1", 9600
    with(vantrel(), "Port", "com8"), "COM8", 9600
  };
  for k = 1:rows (cases)
    reported = quorvel ("SetParams", cases{k, 1});
    expect_equal ({reported.Port, reported.BaudRate}, cases(k, 2:3), sprintf ("selection case %d", k));
  endfor
endfunction

function failed_parses_store_nothing ()
  before = quorvel ("SetParams", vantrel ("COM7", "BaudRate", 19200));
  broken = vantrel ("COM7", "BaudRate", 38400, "Parity", "even");
  broken.WriteTimeout = "soon";
  assert_error (@() quorvel ("SetParams", broken), "quorvel: Invalid \"WriteTimeout\" property value.", 0,
                "invalid last property");
  expect_equal (quorvel ("GetParams", before), before, "settings after a failed parse");
endfunction

function s = with (s, name, value)
  s.(name) = value;
endfunction
