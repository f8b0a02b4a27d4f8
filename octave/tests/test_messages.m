% Calls with wrong arguments stop with the module's fixed messages, prefixed
% with the module's name as Octave does; nothing is left locked or changed.
function test_messages ()
  use_module ();
  s = vantrel ("COM6");
  object_message = "The second input argument must be a \"vantrel\" object.";
  % arguments, requested outputs, message
  cases = {
    {},                                  0, "Too few input arguments."
    {5},                                 0, "The first input argument must be a command string."
    {repmat("a", 1, 20), s},             0, "The first input argument must be a command string."
    {"openx", s},                        0, "Unknown command."
    {"", s},                             0, "Ambiguous command name."
    {"clo", s},                          0, "Ambiguous command name."
    {"Get", s},                          0, "Ambiguous command name."
    {"Flush", s},                        0, "Ambiguous command name."
    {"Open"},                            0, "Too few input arguments."
    {"Write", s},                        0, "Too few input arguments."
    {"Read", s, 1, 2},                   0, "Too many input arguments."
    {"CloseAll", s},                     0, "Too many input arguments."
    {"CloseAll"},                        1, "Too many output arguments."
    {"Close", s},                        2, "Too many output arguments."
    {"GetParams", s},                    3, "Too many output arguments."
    {"GetParams", "COM1"},               0, object_message
    {"GetParams", "defaults"},           0, object_message
    {"GetParams", 1},                    0, object_message
    {"GetParams", rmfield(s, "DtrLine")}, 0, object_message
    {"GetParams", orderfields(s)},       0, object_message
    {"GetParams", {s}},                  0, object_message
    {"GetParams", legacy_settings()},    0, object_message
    {"GetParams", with(s, "Port", "COM9")},     0, "Invalid serial port name."
    {"GetParams", with(s, "Port", "COM0")},     0, "Invalid serial port name."
    {"GetParams", with(s, "Port", "COM")},      0, "Invalid serial port name."
    {"GetParams", with(s, "Port", "COM12345")}, 0, "Invalid serial port name."
    {"GetParams", with(s, "Port", "default")},  0, "Invalid serial port name."
    {"GetParams", with(s, "Port", 1)},          0, "Invalid serial port name."
    {"GetParams", repmat(s, 0, 0)},      0, "Invalid serial port name."
    {"Open", "default"},                 0, "Invalid \"BaudRate\" property value."
    {"SetParams", "Default"},            0, "Invalid \"BaudRate\" property value."
    {"SetParams", with(s, "BaudRate", "9600")},     0, "Invalid \"BaudRate\" property value."
    {"SetParams", with(s, "BaudRate", int32(9600))}, 0, "Invalid \"BaudRate\" property value."
    {"SetParams", with(s, "RtsCtsEnable", "of")},   0, "Invalid \"RtsCtsEnable\" property value."
    {"SetParams", with(s, "XonXoffEnable", true)},  0, "Invalid \"XonXoffEnable\" property value."
    {"SetParams", with(s, "DsrDtrEnable", 1)},      0, "Invalid \"DsrDtrEnable\" property value."
    {"SetParams", with(s, "UseErrorChar", "yes")},  0, "Invalid \"UseErrorChar\" property value."
    {"SetParams", with(s, "ByteSize", "8")},        0, "Invalid \"ByteSize\" property value."
    {"SetParams", with(s, "Parity", "ev")},         0, "Invalid \"Parity\" property value."
    {"SetParams", with(s, "StopBits", {1})},        0, "Invalid \"StopBits\" property value."
    {"SetParams", with(s, "XonChar", "ab")},        0, "Invalid \"XonChar\" property value."
    {"SetParams", with(s, "XoffChar", 19)},         0, "Invalid \"XoffChar\" property value."
    {"SetParams", with(s, "ErrorChar", uint8(0))},  0, "Invalid \"ErrorChar\" property value."
    {"SetParams", with(s, "InBufferSize", "1k")},   0, "Invalid \"InBufferSize\" property value."
    {"SetParams", with(s, "OutBufferSize", {1024})}, 0, "Invalid \"OutBufferSize\" property value."
    {"SetParams", with(s, "ReadTimeout", single(1))}, 0, "Invalid \"ReadTimeout\" property value."
    {"SetParams", with(s, "WriteTimeout", "10")},   0, "Invalid \"WriteTimeout\" property value."
    {"SetParams", with(s, "RtsLine", "handshake")}, 0, "Invalid \"RtsLine\" property value."
    {"SetParams", with(s, "DtrLine", "")},          0, "Invalid \"DtrLine\" property value."
    {"SetParams", with(with(s, "BaudRate", "x"), "ErrorChar", "xy")}, 0, "Invalid \"BaudRate\" property value."
  };
  before = quorvel ("GetParams", s);
  for k = 1:rows (cases)
    assert_error (@() quorvel (cases{k, 1}{:}), ["quorvel: " cases{k, 3}], cases{k, 2}, sprintf ("message case %d", k));
  endfor
  expect_equal (quorvel ("GetParams", s), before, "settings after the rejected calls");
  assert (! mislocked ("quorvel"), "locked after the rejected calls");
endfunction

function s = with (s, name, value)
  s.(name) = value;
endfunction
