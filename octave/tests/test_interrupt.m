% Ctrl-C during a Read that waits out a 20 s ReadTimeout on a silent line:
% control comes back at once, the rest of the statement's line does not run,
% and the port still works.
function test_interrupt ()
  use_module ();
  [folder, cleanup] = null_modems ({"com1", "com2"});
  [seconds, status, output] = interrupt_child ({
    "s = quorvel ('Open', vantrel ('COM1', 'ReadTimeout', 20));"
    "printf ('reading\\n'); fflush (stdout); quorvel ('Read', s, 10); printf ('after the read\\n');"
    "printf ('back\\n'); fflush (stdout);"
    "b = quorvel ('Open', vantrel ('COM2')); quorvel ('Write', b, uint8 ('ping'));"
    "[data, status] = quorvel ('Read', s, 4); printf ('read %s, status %d\\n', char (data), status);"
    "quorvel ('CloseAll'); exit (0);"
  }, "reading");
  assert (seconds < 1, "control came back %.2f s after Ctrl-C", seconds);
  expect_equal (status, 0, ["exit status of the interrupted Octave; its output:\n" output]);
  assert (isempty (strfind (output, "after the read")), "the rest of the interrupted line ran:\n%s", output);
  assert (! isempty (strfind (output, "read ping, status 0")), "the port did not work afterwards:\n%s", output);
endfunction

