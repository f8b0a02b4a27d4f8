% Polls condition() until it is true; fails with message after seconds.
function wait_until (condition, seconds, message)
  deadline = tic ();
  while (! condition ())
    if (toc (deadline) > seconds)
      error ("%s (after %g s)", message, seconds);
    endif
    pause (0.02);
  endwhile
endfunction
