% soak_session (seconds, round_trips): the module driven round after round for
% that many seconds over null-modem pairs, as a long acquisition script drives
% it: open, configure, queries, data both ways, writes left in flight at
% Close, rejected calls, and now and then the module cleared and loaded again.
% Each round must end where the first ended: the same open descriptors and
% threads, the module unlocked; the resident memory may not keep growing.
% Then as many Write/Read round trips as asked, as a polling script makes
% them, with the resident memory printed ten times along the way; it too may
% not keep growing.
function soak_session (seconds, round_trips)
  addpath (getenv ("QUORVEL_MODULE_DIR"), getenv ("QUORVEL_OCTAVE_TESTS"));
  % COM1 and COM2 talk; nobody ever reads what COM3 writes to COM4.
  [folder, cleanup] = null_modems ({"com1", "com2"; "com3", "com4"});
  ports.a = vantrel ("COM1", "BaudRate", 115200, "ReadTimeout", 1);
  ports.b = vantrel ("COM2", "BaudRate", 115200, "ReadTimeout", 1);
  ports.stuck = vantrel ("COM3", "WriteTimeout", 0);
  one_round (ports, 1);            % warms up Octave and the module
  first = process_state ();
  started = tic ();
  rounds = 0;
  calls = 0;
  memory = [];                     % [seconds, resident kB] once a round
  while (toc (started) < seconds)
    rounds += 1;
    calls += one_round (ports, rounds);
    now = process_state ();
    if (now.descriptors != first.descriptors || now.threads != first.threads)
      error ("round %d ended with %d descriptors and %d threads, the first with %d and %d", rounds,
             now.descriptors, now.threads, first.descriptors, first.threads);
    endif
    memory(end + 1, :) = [toc(started), now.resident];
  endwhile
  report (rounds, calls, toc (started), first, memory);
  round_trip_soak (ports, round_trips);
endfunction

function round_trip_soak (ports, round_trips)
  expect (nthargout (2, @quorvel, "Open", ports.a), 0, "open COM1");
  expect (nthargout (2, @quorvel, "Open", ports.b), 0, "open COM2");
  message = uint8 ("READ? 0123456789");
  step = max (1, round (round_trips / 10));
  memory = [0, process_state().resident];
  printf ("soak: %d round trips of %d bytes, resident %d kB before\n", round_trips, numel (message), memory(1, 2));
  started = tic ();
  for trip = 1:round_trips
    quorvel ("Write", ports.a, message);
    [reply, status] = quorvel ("Read", ports.b, 16);
    if (status != 0 || ! isequal (reply, message))
      error ("round trip %d: status %d, %d bytes back", trip, status, numel (reply));
    endif
    if (mod (trip, step) == 0)
      memory(end + 1, :) = [trip, process_state().resident];
      printf ("soak: %d round trips in %.0f s, resident %d kB\n", trip, toc (started), memory(end, 2));
    endif
  endfor
  quorvel ("CloseAll");
  late = memory(memory(:, 1) >= round_trips / 2, :);
  growth = late(end, 2) - late(1, 2);
  if (round_trips >= 10000 && growth * 1024 > 16 * round_trips / 2)
    error ("resident memory grew by %d kB over the second half of the round trips", growth);
  endif
endfunction

% One round; returns the number of module calls it made.
function calls = one_round (ports, round)
  [a, b] = deal (ports.a, ports.b);
  calls = 0;
  % Cleared at the start of a round, so that every reading of the resident
  % memory is taken with the module loaded: an unload gives back its pages.
  if (mod (round, 10) == 0)
    clear quorvel;
  endif
  for s = {a, b, ports.stuck}
    expect (nthargout (2, @quorvel, "Open", s{1}), 0, ["open " s{1}.Port]);
  endfor
  for k = 1:20
    message = uint8 (sprintf ("MEAS:VOLT? %d\n", k));
    expect (quorvel ("Write", a, message), 4, "write");
    [reply, status] = quorvel ("Read", b, numel (message));
    expect ({reply, status}, {message, 0}, "read");
    [~, status] = quorvel ("GetWriteStatus", a);
    [~, status] = quorvel ("GetReadStatus", b);
    calls += 4;
  endfor
  s = a;
  s.BaudRate = 9600 * (1 + mod (round, 2));
  expect (nthargout (2, @quorvel, "SetParams", s), 0, "SetParams");
  expect (quorvel ("FlushRead", b), 0, "FlushRead");
  try
    quorvel ("Write", a, "not bytes");
  catch
  end_try_catch
  quorvel ("Write", ports.stuck, uint8 (mod (0:99999, 256)));
  expect (quorvel ("Close", ports.stuck), 8, "close with a write in flight");
  quorvel ("CloseAll");
  calls += 10;
  if (mislocked ("quorvel"))
    error ("round %d left the module locked", round);
  endif
endfunction

function expect (observed, expected, label)
  if (! isequal (observed, expected))
    error ("%s: got %s, expected %s", label, disp (observed), disp (expected));
  endif
endfunction

function state = process_state ()
  status = fileread ("/proc/self/status");
  state.resident = sscanf (regexp (status, "VmRSS:\\s*(\\d+)", "tokens", "once"){1}, "%d");
  state.threads = sscanf (regexp (status, "Threads:\\s*(\\d+)", "tokens", "once"){1}, "%d");
  state.descriptors = numel (readdir ("/proc/self/fd")) - 2;
endfunction

% Growth of the resident memory over the second half of the run, where
% Octave's own caches have settled: a leak of a few bytes a call shows there.
function report (rounds, calls, seconds, first, memory)
  late = memory(memory(:, 1) >= memory(end, 1) / 2, :);
  growth = late(end, 2) - late(1, 2);
  printf ("soak: %d rounds, %d calls in %.0f s (%.0f calls/s); resident %d kB after warm-up, %d kB at the end, %+d kB over the second half; %d descriptors, %d threads throughout\n",
          rounds, calls, seconds, calls / seconds, first.resident, memory(end, 2), growth, first.descriptors,
          first.threads);
  per_call = growth * 1024 / max (1, calls / 2);
  if (rounds >= 20 && per_call > 64)
    error ("resident memory grew by %d kB over the second half: %.0f bytes a call", growth, per_call);
  endif
endfunction
