% SERVE_FIGURES  The client side of bench.py's protocol, for Octave clients.
%   serve_figures (figures) reads figure requests from standard input, one a
%   line, and answers each on standard output:
%     roundtrip <size> <count>   ->  <median s> <p99 s>
%     send <chunk> <total>       ->  <seconds>
%     receive <chunk> <total>    ->  <seconds>
%     status <count>             ->  <seconds per query>
%     query <size> <count>       ->  <median s> <p99 s> <mean s> <failed>
%   until 'quit'. figures holds a function handle per figure (roundtrip,
%   send, receive, status, and query where the client has lines); roundtrip
%   returns each round trip's time, query each query's time and how many
%   failed.
function serve_figures (figures)
  while (true)
    % fgetl (stdin) waits for more than a line from a pipe; input does not.
    line = input ("", "s");
    if (strcmp (line, "quit"))
      return;
    endif
    words = strsplit (strtrim (line));
    numbers = str2double (words(2:end));
    switch (words{1})
      case "roundtrip"
        times = figures.roundtrip (numbers(1), numbers(2));
        printf ("%.9g %.9g\n", grouped_quantile (times, 0.5), grouped_quantile (times, 0.99));
      case "send"
        printf ("%.9g\n", figures.send (numbers(1), numbers(2)));
      case "receive"
        printf ("%.9g\n", figures.receive (numbers(1), numbers(2)));
      case "status"
        printf ("%.9g\n", figures.status (numbers(1)));
      case "query"
        [times, failed] = figures.query (numbers(1), numbers(2));
        printf ("%.9g %.9g %.9g %d\n", grouped_quantile (times, 0.5), grouped_quantile (times, 0.99),
                mean (times), failed);
      otherwise
        error ("serve_figures: unknown figure '%s'", line);
    endswitch
    fflush (stdout);
  endwhile
endfunction

% tic and toc count whole microseconds, so round trips come as whole
% microseconds: the quantile is placed within its microsecond by the share of
% the samples there that lie below it (the median of grouped data).
function value = grouped_quantile (times, fraction)
  us = sort (round (times * 1e6));
  at = us(max (1, ceil (fraction * numel (us) - 1e-6)));
  below = sum (us < at);
  here = sum (us == at);
  value = (at - 0.5 + (fraction * numel (us) - below) / here) * 1e-6;
endfunction
