% BENCH_SERIALPORT  instrument-control's serialport on the tty at path.
function bench_serialport (path)
  pkg load instrument-control
  port = serialport (path, 9600);
  port.Timeout = 5;
  serve_figures (struct ("roundtrip", @(size, count) round_trips (port, size, count),
                         "send", @(chunk, total) send (port, chunk, total),
                         "receive", @(chunk, total) receive (port, chunk, total),
                         "status", @(count) status_queries (port, count),
                         "query", @(size, count) queries (port, size, count)));
  clear port
endfunction

function tell_peer (port, mode, count)
  write (port, uint8 (sprintf ("%c %d\n", mode, count)));
  bench_check (read (port, 1), "!", "the peer's answer to a command");
endfunction

function times = round_trips (port, size, count)
  message = bench_message (size);
  stamps = zeros (1, count);
  tell_peer (port, "E", size * count);
  origin = tic ();
  for i = 1:count
    write (port, message);
    reply = read (port, size);
    stamps(i) = toc (origin);
  endfor
  bench_check (reply, message, "the echo");
  times = diff ([0 stamps]);
endfunction

function seconds = send (port, chunk, total)
  data = repmat (uint8 ("x"), 1, chunk);
  tell_peer (port, "K", total);
  origin = tic ();
  for sent = chunk:chunk:total
    write (port, data);
  endfor
  done = read (port, 1);
  seconds = toc (origin);
  bench_check (done, "K", "the sink's answer");
endfunction

function seconds = receive (port, chunk, total)
  tell_peer (port, "S", total);
  origin = tic ();
  write (port, uint8 ("T"));
  for got = chunk:chunk:total
    data = read (port, chunk);
  endfor
  seconds = toc (origin);
  bench_check (data(end), mod (total - 1, 251), "the stream");
endfunction

function seconds = status_queries (port, count)
  origin = tic ();
  for i = 1:count
    waiting = port.NumBytesAvailable;
  endfor
  seconds = toc (origin) / count;
endfunction

% writeline, then readline. Its readline reads what is waiting, or else
% waits out Timeout for 100 bytes, and stops with an error when the first
% read ends before the terminator; such a query counts as failed, and what
% is left of its line is flushed. Timeout is short here so that the waits
% do not make the run last hours.
function [times, failed] = queries (port, size, count)
  message = char (bench_message (size - 1));
  times = zeros (1, count);
  tell_peer (port, "E", size * count);
  port.Timeout = 0.1;
  failed = 0;
  for i = 1:count
    origin = tic ();
    try
      writeline (port, message);
      reply = readline (port);
      times(i) = toc (origin);
      failed += ! strcmp (reply, message);
    catch
      times(i) = toc (origin);
      failed += 1;
      pause (0.05);
      flush (port);
    end_try_catch
  endfor
  port.Timeout = 5;
endfunction
