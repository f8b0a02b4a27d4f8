% Open, Close and CloseAll over a pseudo-terminal, the host lock that an open
% port holds, and what "clear quorvel" does with and without open ports.
function test_lifecycle ()
  use_module ();
  [folder, cleanup] = null_modems ({"com1", "com2"});
  symlink ("/nonexistent/tty", fullfile (folder, "com5"));
  open_close_and_locks ();
  reopen_starts_from_defaults ();
  rejected_configuration_stays_open ();
  clearing_the_module ();
endfunction

function open_close_and_locks ()
  s = vantrel ("COM1");
  absent = vantrel ("COM5");
  % command, settings, status, locked afterwards
  steps = {
    "Open",      absent, 2, false   % the link leads nowhere
    "Open",      s,      0, true
    "GetParams", s,      0, true
    "Open",      s,      0, true    % a second lock
    "Close",     s,      0, true    % closed, one lock left
    "GetParams", s,      2, true
    "Close",     s,      2, true
    "CloseAll",  [],     [], false
    "Open",      s,      0, true
    "CloseAll",  [],     [], false
    "CloseAll",  [],     [], false
  };
  for k = 1:rows (steps)
    [command, settings, expected, locked] = steps{k, :};
    label = sprintf ("step %d (%s)", k, command);
    if (isempty (settings))
      quorvel (command);
    else
      status = run_for_status (command, settings);
      expect_equal (status, expected, label);
    endif
    expect_equal (mislocked ("quorvel"), locked, [label " locked"]);
  endfor
  [reported, status] = quorvel ("Open", absent);
  expect_equal ({reported.Port, status}, {"COM5", 2}, "settings from an absent device");
endfunction

function status = run_for_status (command, settings)
  if (any (strcmp (command, {"Open", "GetParams"})))
    [~, status] = quorvel (command, settings);
  else
    status = quorvel (command, settings);
  endif
endfunction

function reopen_starts_from_defaults ()
  [~, status] = quorvel ("Open", vantrel ("COM1", "BaudRate", 19200, "Parity", "odd"));
  expect_equal (status, 0, "open at 19200");
  quorvel ("Close", vantrel ("COM1"));
  kept = quorvel ("GetParams", vantrel ("COM1"));
  expect_equal ({kept.BaudRate, kept.Parity}, {19200, "odd"}, "settings kept after Close");
  reopened = quorvel ("Open", vantrel ("COM1"));
  expect_equal (reopened, vantrel ("COM1"), "settings of a reopened port");
  quorvel ("CloseAll");
endfunction

function rejected_configuration_stays_open ()
  impossible = vantrel ("COM1");
  impossible.StopBits = 3;
  [~, status] = quorvel ("Open", impossible);
  expect_equal (status, 16, "open with a stop-bit code the device refuses");
  [~, status] = quorvel ("GetParams", impossible);
  expect_equal ({status, mislocked("quorvel")}, {16, true}, "port after a refused configuration");
  expect_equal (quorvel ("Close", impossible), 0, "close after a refused configuration");
  quorvel ("CloseAll");
endfunction

% While a port is open the module stays loaded whatever is cleared; once all
% are closed, "clear quorvel" unloads it and the next call starts afresh.
function clearing_the_module ()
  s = vantrel ("COM1");
  stored = vantrel ("COM6", "BaudRate", 1234);
  quorvel ("Open", s);
  quorvel ("SetParams", stored);
  clear ("quorvel");
  clear ("mex");
  [~, status] = quorvel ("GetParams", s);
  expect_equal ({status, mislocked("quorvel")}, {0, true}, "open port after clearing");
  expect_equal (quorvel ("GetParams", stored), stored, "stored settings after clearing while open");
  quorvel ("CloseAll");
  clear ("quorvel");
  fresh = quorvel ("GetParams", stored);
  expect_equal (fresh.BaudRate, 0, "baud rate of a slot after unloading");
endfunction
