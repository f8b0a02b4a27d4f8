% pid = octave_child(code): runs code in a second octave-cli with the same
% module path and environment, in the background; its output goes to
% <log>. Wait for it with wait_child.
function [pid, log] = octave_child (code)
  script = [tempname() ".m"];
  log = [tempname() ".log"];
  file = fopen (script, "w");
  fprintf (file, "addpath ('%s');\nuse_module ();\n%s\n", getenv ("QUORVEL_OCTAVE_TESTS"), code);
  fclose (file);
  pid = system (sprintf ("exec timeout 60 '%s' --no-history --no-init-file --no-window-system --quiet '%s' > '%s' 2>&1",
                         getenv ("QUORVEL_OCTAVE_CLI"), script, log), false, "async");
endfunction
