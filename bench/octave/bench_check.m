% BENCH_CHECK  Stops the client when what came back is not what was expected.
function bench_check (got, expected, what)
  if (! isequal (uint8 (got(:)'), uint8 (expected(:)')))
    error ("bench: %s came back damaged", what);
  endif
endfunction
