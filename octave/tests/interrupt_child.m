% Runs `commands` in a child Octave that reads them as an interactive session
% would (so that it goes on after an interrupt), sends it SIGINT half a second
% after it printed `started`, and waits for it to print 'back'. Returns how
% long control took to come back, the child's exit status and its output.
function [seconds, status, output] = interrupt_child (commands, started)
  script = [tempname() ".m"];
  log = [tempname() ".log"];
  file = fopen (script, "w");
  fprintf (file, "%s\n", sprintf ("addpath ('%s'); use_module ();", getenv ("QUORVEL_OCTAVE_TESTS")), commands{:});
  fclose (file);
  pid = system (sprintf ("exec '%s' --interactive --no-line-editing --no-history --no-init-file --no-window-system --quiet < '%s' > '%s' 2>&1",
                         getenv ("QUORVEL_OCTAVE_CLI"), script, log), false, "async");
  try
    wait_until (@() ! isempty (strfind (fileread_or_empty (log), started)), 30, ["the child did not print " started]);
    pause (0.5);
    kill (pid, 2);
    interrupted = tic ();
    wait_until (@() ! isempty (strfind (fileread (log), "back")), 5, "control did not come back");
    seconds = toc (interrupted);
  catch failure
    kill (pid, 9);
    waitpid (pid);
    rethrow (failure);
  end_try_catch
  [status, output] = wait_child (pid, log, 10);
  printf ("control came back %.3f s after Ctrl-C\n", seconds);
endfunction
