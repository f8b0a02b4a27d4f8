% One session of the module in Octave, as scripts drive it, for valgrind to
% watch: data both ways over a null-modem pair, every command on open and
% closed ports, every kind of rejected call, writes still in flight when a
% port is closed, the module cleared and loaded again, and ports left open
% with writes in flight when Octave exits.
function memcheck_session ()
  addpath (getenv ("QUORVEL_MODULE_DIR"), getenv ("QUORVEL_OCTAVE_TESTS"));
  [folder, cleanup] = null_modems ({"com1", "com2"});
  a = vantrel ("COM1", "BaudRate", 115200, "ReadTimeout", 1, "WriteTimeout", 0.5);
  b = vantrel ("COM2", "BaudRate", 115200, "ReadTimeout", 1, "WriteTimeout", 0.5);
  open_ports (a, b);
  data_both_ways (a, b);
  queries_and_purges (a, b);
  reconfiguration (a);
  rejected_calls (a);
  close_with_writes_in_flight (a, b);
  closed_ports (a);
  reload (a, b);
  open_ports (a, b);
  quorvel ("Write", a, uint8 (mod (0:199999, 256)));
  disp ("memcheck session: done; COM1 and COM2 left open for the exit hook");
endfunction

function expect (observed, expected, label)
  if (! isequal (observed, expected))
    error ("%s: got %s, expected %s", label, disp (observed), disp (expected));
  endif
endfunction

function open_ports (a, b)
  [~, status] = quorvel ("Open", a);
  expect (status, 0, "open COM1");
  [~, status] = quorvel ("Open", b);
  expect (status, 0, "open COM2");
endfunction

function data_both_ways (a, b)
  for sent = {uint8("*IDN?\n"), uint8(0:255), uint8([1 2; 3 4]), uint8(mod(1:30000, 251))}
    expect (quorvel ("Write", a, sent{1}), 4, "write");
    [received, status] = quorvel ("Read", b, numel (sent{1}));
    expect ({received, status}, {sent{1}(:)', 0}, "read of a count");
  endfor
  quorvel ("Write", b, uint8 ("reply"));
  wait_until (@() quorvel ("GetReadStatus", a) == 5, 5, "the reply did not arrive");
  [received, status] = quorvel ("Read", a);
  expect ({received, status}, {uint8("reply"), 0}, "read of what waits");
  [received, status] = quorvel ("Read", a, 3);
  expect ({received, status}, {zeros(1, 0, "uint8"), 8}, "read from a silent line");
endfunction

function queries_and_purges (a, b)
  quorvel ("Write", a, uint8 (1:10));
  wait_until (@() quorvel ("GetReadStatus", b) == 10, 5, "10 bytes did not arrive");
  [waiting, status] = quorvel ("GetReadStatus", b);
  expect ({waiting, status}, {10, 4}, "read status");
  expect (quorvel ("FlushRead", b), 0, "FlushRead");
  [~, status] = quorvel ("GetWriteStatus", a);
  expect (any (status == [0 4]), true, "write status");
  expect (quorvel ("FlushWrite", a), 0, "drain");
  quorvel ("Write", a, uint8 (1:100));
  expect (quorvel ("FlushWrite", a, "discard"), 0, "discard");
  quorvel ("FlushRead", b);
endfunction

function reconfiguration (a)
  for change = {{"BaudRate", 9600}, {"ReadTimeout", 0.1}, {"InBufferSize", 4096}, {"DtrLine", "off"}}
    s = a;
    s.(change{1}{1}) = change{1}{2};
    [reported, status] = quorvel ("SetParams", s);
    expect ({reported.(change{1}{1}), status}, {change{1}{2}, 0}, ["SetParams " change{1}{1}]);
  endfor
  [~, status] = quorvel ("SetParams", a);
  expect (status, 0, "SetParams back");
  [~, status] = quorvel ("GetParams", "default");
  expect (status, 2, "GetParams of the defaults");
endfunction

function rejected_calls (a)
  bad_port = a;
  bad_port.Port = "COM9";
  bad_parity = a;
  bad_parity.Parity = "sometimes";
  calls = {{}, {1}, {"Nonsense", a}, {"Get", a}, {"Close"}, {"CloseAll", a}, {"Read", 42}, ...
           {"Read", "COM1"}, {"Open", bad_port}, {"SetParams", bad_parity}, {"Open", "default"}, ...
           {"Write", a, [1 2 3]}, {"Write", a, "text"}, {repmat("x", 1, 30), a}};
  for k = 1:numel (calls)
    try
      quorvel (calls{k}{:});
    catch
      continue;
    end_try_catch
    error ("rejected call %d was accepted", k);
  endfor
  try
    [x, y, z] = quorvel ("GetParams", a);
    error ("three outputs were accepted");
  catch
  end_try_catch
endfunction

function close_with_writes_in_flight (a, b)
  % Nobody reads COM2: the pseudo-terminals fill and the write stays in flight.
  expect (quorvel ("Write", a, uint8 (mod (0:299999, 256))), 4, "big write");
  [~, status] = quorvel ("GetWriteStatus", a);
  expect (status, 4, "big write in flight");
  expect (quorvel ("Close", a), 8, "close with a write that cannot finish");
  expect (quorvel ("Close", b), 0, "close COM2");
  expect (mislocked ("quorvel"), false, "locked after every port closed");
endfunction

function closed_ports (a)
  expect (quorvel ("Write", a, uint8 (1)), 2, "write on a closed port");
  [data, status] = quorvel ("Read", a, 4);
  expect ({data, status}, {zeros(1, 0, "uint8"), 2}, "read on a closed port");
  [count, status] = quorvel ("GetWriteStatus", a);
  expect ({count, status}, {zeros(1, 0), 2}, "write status on a closed port");
endfunction

function reload (a, b)
  open_ports (a, b);
  clear quorvel;
  expect (mislocked ("quorvel"), true, "an open port keeps the module loaded");
  quorvel ("CloseAll");
  clear quorvel;
  [~, status] = quorvel ("GetParams", a);
  expect (status, 2, "a port of the reloaded module");
endfunction
