% BENCH_MESSAGE  The round-trip message of the benchmark: size bytes of a-z.
function message = bench_message (size)
  message = uint8 ('a' + mod (0:size - 1, 26));
endfunction
