% BENCH_QUORVEL  quorvel in Octave on COM1 (as $QUORVEL_DEVICES names it).
function bench_quorvel ()
  s = vantrel ("COM1", "ReadTimeout", 5);
  [s, status] = quorvel ("Open", s);
  if (status != 0)
    error ("bench: COM1 did not open (status %d)", status);
  endif
  serve_figures (struct ("roundtrip", @(size, count) round_trips (s, size, count),
                         "send", @(chunk, total) send (s, chunk, total),
                         "receive", @(chunk, total) receive (s, chunk, total),
                         "status", @(count) status_queries (s, count),
                         "query", @(size, count) queries (s, size, count)));
  quorvel ("CloseAll");
endfunction

function tell_peer (s, mode, count)
  quorvel ("Write", s, uint8 (sprintf ("%c %d\n", mode, count)));
  bench_check (quorvel ("Read", s, 1), "!", "the peer's answer to a command");
endfunction

function times = round_trips (s, size, count)
  message = bench_message (size);
  stamps = zeros (1, count);
  tell_peer (s, "E", size * count);
  origin = tic ();
  for i = 1:count
    quorvel ("Write", s, message);
    reply = quorvel ("Read", s, size);
    stamps(i) = toc (origin);
  endfor
  bench_check (reply, message, "the echo");
  times = diff ([0 stamps]);
endfunction

function seconds = send (s, chunk, total)
  data = repmat (uint8 ("x"), 1, chunk);
  tell_peer (s, "K", total);
  origin = tic ();
  for sent = chunk:chunk:total
    quorvel ("Write", s, data);
  endfor
  done = quorvel ("Read", s, 1);
  seconds = toc (origin);
  bench_check (done, "K", "the sink's answer");
endfunction

function seconds = receive (s, chunk, total)
  tell_peer (s, "S", total);
  origin = tic ();
  quorvel ("Write", s, uint8 ("T"));
  for got = chunk:chunk:total
    data = quorvel ("Read", s, chunk);
  endfor
  seconds = toc (origin);
  bench_check (data(end), mod (total - 1, 251), "the stream");
endfunction

function seconds = status_queries (s, count)
  origin = tic ();
  for i = 1:count
    waiting = quorvel ("GetReadStatus", s);
  endfor
  seconds = toc (origin) / count;
endfunction

% Lines of size bytes, the terminator included, each asked and read back
% with quorvel_query.
function [times, failed] = queries (s, size, count)
  message = char (bench_message (size - 1));
  stamps = zeros (1, count);
  tell_peer (s, "E", size * count);
  failed = 0;
  origin = tic ();
  for i = 1:count
    [reply, status] = quorvel_query (s, message);
    stamps(i) = toc (origin);
    failed += status != 0;
  endfor
  bench_check (reply, message, "the echoed line");
  times = diff ([0 stamps]);
endfunction
