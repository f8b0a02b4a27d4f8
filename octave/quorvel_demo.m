% The quorvel demo: an Octave script talks to a (simulated) instrument on
% COM1. scripts/demo.sh builds the module, makes COM1 one end of a virtual
% null-modem cable, starts the instrument on the other end and runs this.

function quorvel_demo ()
  printf ("\nquorvel demo: an instrument on COM1, queried from Octave\n");
  printf ("==========================================================\n\n");

  s = vantrel ("COM1", "BaudRate", 115200, "ReadTimeout", 0.5);
  printf ("1. Settings built with vantrel: %s, %d baud, %d data bits, parity %s, %g stop bit,\n",
          s.Port, s.BaudRate, s.ByteSize, s.Parity, s.StopBits);
  printf ("   a read waits at most %g s for missing bytes.\n\n", s.ReadTimeout);

  [s, status] = quorvel ("Open", s);
  printf ("2. quorvel('Open', s)            -> status %d  %s\n", status, meaning (status));
  if (status != 0)
    error ("quorvel_demo: COM1 could not be opened");
  endif
  printf ("   The open port keeps quorvel loaded: mislocked('quorvel') = %d\n\n", mislocked ("quorvel"));

  printf ("3. Queries, each a Write of a line and a Read of the answer. A Write only queues\n");
  printf ("   the bytes and answers 4 (pending) while they are in flight:\n");
  for query = {"*IDN?", "MEAS?", "MEAS?", "TEMP?", "VOLT:RANGE?"}
    ask (s, query{1});
  endfor

  printf ("\n4. A Read of 16 bytes when nothing comes:\n");
  started = tic ();
  [data, status] = quorvel ("Read", s, 16);
  printf ("   quorvel('Read', s, 16)        -> %d bytes after %.2f s, status %d  %s\n\n",
          numel (data), toc (started), status, meaning (status));

  [waiting, status] = quorvel ("GetReadStatus", s);
  printf ("5. quorvel('GetReadStatus', s)   -> %d bytes waiting, status %d  %s\n", waiting, status, meaning (status));
  [waiting, status] = quorvel ("GetWriteStatus", s);
  printf ("   quorvel('GetWriteStatus', s)  -> %d bytes to send, status %d  %s\n\n", waiting, status, meaning (status));

  [settings, status] = quorvel ("GetParams", s);
  printf ("6. The settings in force, quorvel('GetParams', s) -> status %d:\n", status);
  show_settings (settings);

  status = quorvel ("Close", s);
  printf ("\n7. quorvel('Close', s)           -> status %d  %s\n", status, meaning (status));
  quorvel ("CloseAll");
  printf ("   quorvel('CloseAll'); mislocked('quorvel') = %d\n", mislocked ("quorvel"));
  [~, status] = quorvel ("GetParams", s);
  printf ("   quorvel('GetParams', s)       -> status %d  %s\n\n", status, meaning (status));
  printf ("Status bits: 1 line error, 2 not open, 4 pending, 8 timed out, 16 configuration failed,\n");
  printf ("32 overrun, 64 I/O failed. See 'help quorvel' and 'help vantrel'.\n\n");
endfunction

function ask (s, query)
  status = quorvel ("Write", s, uint8 ([query "\n"]));
  printf ("   > %-12s  Write status %d  %s\n", query, status, meaning (status));
  [answer, status] = read_line (s, 2);
  printf ("   < %-40s  (%d bytes, Read status %d)\n", strtrim (char (answer)), numel (answer), status);
endfunction

% Reads what is waiting until a line is complete or seconds have passed.
function [line, status] = read_line (s, seconds)
  line = uint8 ([]);
  status = 8;
  started = tic ();
  while (! any (line == 10) && toc (started) < seconds)
    [waiting, status] = quorvel ("GetReadStatus", s);
    if (waiting > 0)
      [data, status] = quorvel ("Read", s);
      line = [line, data];
    else
      pause (0.01);
    endif
  endwhile
endfunction

function show_settings (settings)
  for name = fieldnames (settings)'
    value = settings.(name{1});
    if (ischar (value) && numel (value) == 1 && value < 32)
      value = sprintf ("char(%d)", double (value));
    elseif (ischar (value))
      value = sprintf ("'%s'", value);
    else
      value = num2str (value);
    endif
    printf ("   %-14s %s\n", name{1}, value);
  endfor
endfunction

function text = meaning (status)
  names = {"line error", "not open", "pending", "timed out", "configuration failed", "overrun", "I/O failed"};
  if (status == 0)
    text = "(success, nothing outstanding)";
  else
    text = ["(" strjoin(names(logical (bitand (status, 2 .^ (0:6)))), ", ") ")"];
  endif
endfunction
