% Bytes both ways between COM1 and COM2, the two ends of a null-modem pair:
% writes and reads, queue counts, purges, and the commands on a closed port.
function test_data ()
  use_module ();
  [folder, cleanup] = null_modems ({"com1", "com2"});
  a = open_port ("COM1");
  b = open_port ("COM2");
  both_ways (a, b);
  counted_reads (a, b);
  writes_that_send_nothing (a);
  purges (a, b);
  quorvel ("CloseAll");
  closed_port ();
endfunction

function s = open_port (name)
  [s, status] = quorvel ("Open", vantrel (name, "BaudRate", 115200, "ReadTimeout", 1));
  expect_equal (status, 0, ["open " name]);
endfunction

function both_ways (a, b)
  rand ("seed", 7);
  % what is written, the bytes expected at the far end
  cases = {
    uint8("hello, instrument\n"),      uint8("hello, instrument\n")
    uint8(0:255),                       uint8(0:255)
    uint8([1 3 5; 2 4 6]),              uint8(1:6)        % column order
    uint8(floor(rand(1, 20000) * 256)), []
  };
  for direction = {{a, b}, {b, a}}
    [from, to] = direction{1}{:};
    for k = 1:rows (cases)
      [sent, expected] = cases{k, :};
      if (isempty (expected))
        expected = sent;
      endif
      label = sprintf ("%s to %s, case %d", from.Port, to.Port, k);
      expect_equal (quorvel ("Write", from, sent), 4, [label ": write status"]);
      [received, status] = quorvel ("Read", to, numel (expected));
      expect_equal ({received, status}, {expected, 0}, [label ": read"]);
    endfor
    wait_until (@() isequal (nthargout (1:2, @quorvel, "GetWriteStatus", from), {0, 0}), 5,
                "writes still in flight");
  endfor
endfunction

function counted_reads (a, b)
  quorvel ("Write", a, uint8 ("0123456789AB"));
  wait_until (@() quorvel ("GetReadStatus", b) == 12, 5, "12 bytes did not arrive");
  [waiting, status] = quorvel ("GetReadStatus", b);
  expect_equal ({waiting, status}, {12, 4}, "read status with 12 bytes waiting");
  % count argument, bytes returned, status
  cases = {
    10,  uint8("0123456789"), 4     % two more are waiting
    [],  uint8("AB"),         0     % an empty count reads what waits
    {},  zeros(1, 0, "uint8"), 0    % nothing waits: no read is started
  };
  for k = 1:rows (cases)
    call = {"Read", b, cases{k, 1}};
    if (iscell (cases{k, 1}))
      call(end) = [];
    endif
    started = tic ();
    [received, status] = quorvel (call{:});
    expect_equal ({received, status}, cases(k, 2:3), sprintf ("counted read case %d", k));
    assert (toc (started) < 0.5, "counted read case %d waited for its time-out", k);
  endfor
endfunction

function writes_that_send_nothing (a)
  expect_equal (quorvel ("Write", a, uint8 ([])), 0, "empty uint8 write");
  expect_equal (quorvel ("Write", a, zeros (1, 0)), 0, "empty double write");
  assert_error (@() quorvel ("Write", a, [1 2 3]), "quorvel: Data to write must be of type \"uint8\".", 0,
                "write of doubles");
  assert_error (@() quorvel ("Write", a, "text"), "quorvel: Data to write must be of type \"uint8\".", 0,
                "write of text");
endfunction

function purges (a, b)
  quorvel ("Write", a, uint8 (1:5));
  wait_until (@() quorvel ("GetReadStatus", b) == 5, 5, "5 bytes did not arrive");
  expect_equal (quorvel ("FlushRead", b), 0, "FlushRead");
  [waiting, status] = quorvel ("GetReadStatus", b);
  expect_equal ({waiting, status}, {0, 0}, "read status after FlushRead");
  % FlushWrite mode, status
  cases = {{}, 0; {"DISCARD"}, 0; {"discards"}, 0; {1}, 0};
  for k = 1:rows (cases)
    quorvel ("Write", a, uint8 (1:100));
    expect_equal (quorvel ("FlushWrite", a, cases{k, 1}{:}), cases{k, 2}, sprintf ("FlushWrite case %d", k));
  endfor
  quorvel ("FlushRead", b);
endfunction

function closed_port ()
  s = vantrel ("COM3");
  none = zeros (1, 0);
  % command, further arguments, outputs expected ({result, status} or {status})
  cases = {
    "Write",          {uint8(1)},  {2}
    "Read",           {},          {zeros(1, 0, "uint8"), 2}
    "Read",           {4},         {zeros(1, 0, "uint8"), 2}
    "GetReadStatus",  {},          {none, 2}
    "GetWriteStatus", {},          {none, 2}
    "FlushRead",      {},          {2}
    "FlushWrite",     {},          {2}
    "FlushWrite",     {"discard"}, {2}
    "Close",          {},          {2}
  };
  for k = 1:rows (cases)
    expected = cases{k, 3};
    outputs = cell (1, numel (expected));
    [outputs{:}] = quorvel (cases{k, 1}, s, cases{k, 2}{:});
    expect_equal (outputs, expected, sprintf ("%s on a closed port", cases{k, 1}));
  endfor
endfunction
