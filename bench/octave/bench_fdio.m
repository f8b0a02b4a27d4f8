% BENCH_FDIO  The host's floor: the thinnest MEX over the raw tty at path.
function bench_fdio (path)
  fd = fdio ("open", path);
  serve_figures (struct ("roundtrip", @(size, count) round_trips (fd, size, count),
                         "send", @(chunk, total) send (fd, chunk, total),
                         "receive", @(chunk, total) receive (fd, chunk, total),
                         "status", @(count) status_queries (fd, count)));
  fdio ("close", fd);
endfunction

function tell_peer (fd, mode, count)
  fdio ("write", fd, uint8 (sprintf ("%c %d\n", mode, count)));
  bench_check (fdio ("read", fd, 1), "!", "the peer's answer to a command");
endfunction

function times = round_trips (fd, size, count)
  message = bench_message (size);
  stamps = zeros (1, count);
  tell_peer (fd, "E", size * count);
  origin = tic ();
  for i = 1:count
    fdio ("write", fd, message);
    reply = fdio ("read", fd, size);
    stamps(i) = toc (origin);
  endfor
  bench_check (reply, message, "the echo");
  times = diff ([0 stamps]);
endfunction

function seconds = send (fd, chunk, total)
  data = repmat (uint8 ("x"), 1, chunk);
  tell_peer (fd, "K", total);
  origin = tic ();
  for sent = chunk:chunk:total
    fdio ("write", fd, data);
  endfor
  done = fdio ("read", fd, 1);
  seconds = toc (origin);
  bench_check (done, "K", "the sink's answer");
endfunction

function seconds = receive (fd, chunk, total)
  tell_peer (fd, "S", total);
  origin = tic ();
  fdio ("write", fd, uint8 ("T"));
  for got = chunk:chunk:total
    data = fdio ("read", fd, chunk);
  endfor
  seconds = toc (origin);
  bench_check (data(end), mod (total - 1, 251), "the stream");
endfunction

function seconds = status_queries (fd, count)
  origin = tic ();
  for i = 1:count
    waiting = fdio ("avail", fd);
  endfor
  seconds = toc (origin) / count;
endfunction
