% Reads end after ReadTimeout with what arrived, counts that ask for
% nothing return at once, and writes that cannot leave end after
% WriteTimeout or are discarded.
function test_timeouts ()
  use_module ();
  [folder, cleanup] = null_modems ({"com1", "com2"});
  a = quorvel ("Open", vantrel ("COM1", "ReadTimeout", 1, "WriteTimeout", 0.5));
  b = quorvel ("Open", vantrel ("COM2", "ReadTimeout", 1));
  timed_reads (a, b);
  stalled_writes (a);
  quorvel ("CloseAll");
endfunction

function timed_reads (a, b)
  % bytes sent first, count, bytes returned, status, least and most seconds
  cases = {
    "",     5,    "",     8, 0.9,  3
    "xy",   5,    "xy",   8, 0.9,  3
    "abc",  2.9,  "ab",   4, 0,    0.5   % one byte still waits
    "",     1,    "c",    0, 0,    0.5   % the byte left over
    "",     0,    "",     0, 0,    0.5
    "",     -3,   "",     0, 0,    0.5
    "",     NaN,  "",     0, 0,    0.5
    "",     Inf,  "",     0, 0,    0.5
  };
  for k = 1:rows (cases)
    [sent, count, expected, status_expected, least, most] = cases{k, :};
    if (! isempty (sent))
      quorvel ("Write", b, uint8 (sent));
      wait_until (@() quorvel ("GetReadStatus", a) >= numel (sent), 5, "bytes did not arrive");
    endif
    started = tic ();
    [received, status] = quorvel ("Read", a, count);
    elapsed = toc (started);
    label = sprintf ("timed read case %d", k);
    expect_equal ({char(received), status}, {[char(zeros (1, 0)), expected], status_expected}, label);
    assert (elapsed >= least && elapsed <= most, "%s took %.3f s", label, elapsed);
  endfor
endfunction

% Nobody reads COM2, so once the pseudo-terminals' buffers are full a large
% write stays in flight.
function stalled_writes (a)
  expect_equal (quorvel ("Write", a, zeros (1, 2^20, "uint8")), 4, "large write");
  started = tic ();
  status = quorvel ("FlushWrite", a);
  elapsed = toc (started);
  expect_equal (status, 8, "FlushWrite of a stalled write");
  assert (elapsed >= 0.9 && elapsed <= 3, "FlushWrite gave up after %.2f s", elapsed);
  [~, status] = quorvel ("GetWriteStatus", a);
  expect_equal (status, 4, "write status while stalled");
  expect_equal (quorvel ("FlushWrite", a, "discard"), 0, "discard");
  wait_until (@() nthargout (2, @quorvel, "GetWriteStatus", a) == 0, 5, "discarded write still in flight");
  started = tic ();
  expect_equal (quorvel ("Close", a), 0, "close after the discard");
  assert (toc (started) < 1, "close waited after the discard");
endfunction
