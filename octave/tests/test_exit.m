% A port left open when Octave exits is closed by the module's exit hook,
% which first lets the writes in flight finish.
function test_exit ()
  use_module ();
  [folder, cleanup] = null_modems ({"com1", "com2"});
  b = quorvel ("Open", vantrel ("COM2", "ReadTimeout", 0.5));
  sent_count = 2^20;
  writer = sprintf (["s = quorvel ('Open', vantrel ('COM1'));\n", ...
                     "printf ('write status %%d\\n', quorvel ('Write', s, uint8 (mod (0:%d, 251))));\n", ...
                     "fflush (stdout);\nexit (0);"], sent_count - 1);
  [pid, log] = octave_child (writer);
  wait_until (@() ! isempty (strfind (fileread_or_empty (log), "write status")), 30, "the writer did not write");
  % The writer is now exiting; its exit hook must wait for the far end.
  pause (1);
  received = zeros (1, 0, "uint8");
  started = tic ();
  while (numel (received) < sent_count && toc (started) < 20)
    chunk = quorvel ("Read", b);
    received = [received, chunk];
    if (isempty (chunk))
      pause (0.01);
    endif
  endwhile
  [status, output] = wait_child (pid, log, 20);
  expect_equal ({status, strtrim(output)}, {0, "write status 4"}, "the writer");
  expect_equal (numel (received), sent_count, "bytes received from the exited writer");
  assert (isequal (received, uint8 (mod (0:sent_count - 1, 251))), "the bytes received differ");
  quorvel ("CloseAll");
endfunction
