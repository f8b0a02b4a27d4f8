% [status, output] = wait_child(pid, log, seconds): waits for a child started
% by octave_child; its exit status (128 + the signal when one ended it) and
% its output. Stops it after seconds.
function [status, output] = wait_child (pid, log, seconds)
  deadline = tic ();
  [reaped, status] = waitpid (pid, WNOHANG);
  while (reaped != pid && toc (deadline) < seconds)
    pause (0.02);
    [reaped, status] = waitpid (pid, WNOHANG);
  endwhile
  if (reaped != pid)
    kill (pid, 15);
    stop_process (pid);
    error ("the child Octave did not end within %g s:\n%s", seconds, fileread (log));
  endif
  if (WIFEXITED (status))
    status = WEXITSTATUS (status);
  else
    status = 128 + WTERMSIG (status);
  endif
  output = fileread (log);
endfunction
