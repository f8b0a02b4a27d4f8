% Ctrl-C while Open waits for a network serial port's server that accepts the
% connection and never answers (a plain TCP port): control comes back at
% once instead of after the 5 s the wait may last, and the port is not open.
function test_network_interrupt ()
  use_module ();
  server_script = fullfile (getenv ("QUORVEL_OCTAVE_TESTS"), "..", "..", "tests", "network", "fault_server.py");
  report = [tempname() ".log"];
  server = system (sprintf ("exec python3 '%s' silent > '%s'", server_script, report), false, "async");
  stop_server = onCleanup (@() stop_process_now (server));
  wait_until (@() ! isempty (strfind (fileread_or_empty (report), "port ")), 10, "the server did not start");
  port = sscanf (fileread (report), "port %d");
  config = tempname ();
  mkdir (config);
  remove_config = onCleanup (@() remove_folder (config));
  symlink (sprintf ("rfc2217://127.0.0.1:%d", port), fullfile (config, "com5"));
  setenv ("QUORVEL_DEVICES", config);

  [seconds, status, output] = interrupt_child ({
    "printf ('opening\\n'); fflush (stdout); [s, status] = quorvel ('Open', vantrel ('COM5')); printf ('after the open\\n');"
    "printf ('back\\n'); fflush (stdout);"
    "[~, status] = quorvel ('GetReadStatus', vantrel ('COM5')); printf ('status %d\\n', status); exit (0);"
  }, "opening");
  assert (seconds < 1, "control came back %.2f s after Ctrl-C", seconds);
  expect_equal (status, 0, ["exit status of the interrupted Octave; its output:\n" output]);
  assert (isempty (strfind (output, "after the open")), "the rest of the interrupted line ran:\n%s", output);
  assert (! isempty (strfind (output, "status 2")), "the port is open after the interrupted open:\n%s", output);
endfunction

function stop_process_now (pid)
  kill (pid, 9);
  stop_process (pid);
endfunction

function remove_folder (folder)
  confirm_recursive_rmdir (false, "local");
  rmdir (folder, "s");
endfunction
