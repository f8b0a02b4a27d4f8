% Ctrl-C during a Read that waits out a 20 s ReadTimeout on a silent line:
% control comes back at once, the rest of the statement's line does not run,
% and the port still works. The child Octave reads its commands from a file
% as an interactive session would, so that it goes on after the interrupt.
function test_interrupt ()
  use_module ();
  [folder, cleanup] = null_modems ({"com1", "com2"});
  commands = [tempname() ".m"];
  log = [tempname() ".log"];
  write_commands (commands, {
    sprintf("addpath ('%s'); use_module ();", getenv ("QUORVEL_OCTAVE_TESTS"))
    "s = quorvel ('Open', vantrel ('COM1', 'ReadTimeout', 20));"
    "printf ('reading\\n'); fflush (stdout); quorvel ('Read', s, 10); printf ('after the read\\n');"
    "printf ('back\\n'); fflush (stdout);"
    "b = quorvel ('Open', vantrel ('COM2')); quorvel ('Write', b, uint8 ('ping'));"
    "[data, status] = quorvel ('Read', s, 4); printf ('read %s, status %d\\n', char (data), status);"
    "quorvel ('CloseAll'); exit (0);"
  });
  pid = system (sprintf ("exec '%s' --interactive --no-line-editing --no-history --no-init-file --no-window-system --quiet < '%s' > '%s' 2>&1",
                         getenv ("QUORVEL_OCTAVE_CLI"), commands, log), false, "async");
  try
    wait_until (@() ! isempty (strfind (fileread_or_empty (log), "reading")), 30, "the child did not start its read");
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
  assert (seconds < 1, "control came back %.2f s after Ctrl-C", seconds);
  expect_equal (status, 0, ["exit status of the interrupted Octave; its output:\n" output]);
  assert (isempty (strfind (output, "after the read")), "the rest of the interrupted line ran:\n%s", output);
  assert (! isempty (strfind (output, "read ping, status 0")), "the port did not work afterwards:\n%s", output);
endfunction

function write_commands (path, lines)
  file = fopen (path, "w");
  fprintf (file, "%s\n", lines{:});
  fclose (file);
endfunction
