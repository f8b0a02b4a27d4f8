% Reaps a child process that was asked to stop; kills it when it has not
% ended within two seconds.
function stop_process (pid)
  for attempt = 1:100
    if (waitpid (pid, WNOHANG) == pid)
      return;
    endif
    pause (0.02);
  endfor
  kill (pid, 9);
  waitpid (pid);
endfunction
