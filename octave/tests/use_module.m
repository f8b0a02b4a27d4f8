% Puts the built module, its m-files and the host probe on the path.
function use_module ()
  addpath (getenv ("QUORVEL_MODULE_DIR"), getenv ("QUORVEL_PROBE_DIR"));
endfunction
