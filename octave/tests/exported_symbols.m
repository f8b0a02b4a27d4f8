% The names a shared object exports, sorted.
function names = exported_symbols (path)
  [status, listing] = system (sprintf ("nm -D --defined-only '%s'", path));
  assert (status == 0, "nm failed on %s", path);
  names = sort (regexp (listing, '\S+$', "match", "lineanchors"));
endfunction
