% A port open in this Octave cannot be opened by a second Octave process
% until it is closed here.
function test_exclusive ()
  use_module ();
  [folder, cleanup] = null_modems ({"com1", "com2"});
  s = vantrel ("COM1");
  other = "[~, status] = quorvel ('Open', vantrel ('COM1')); printf ('status %d\\n', status); quorvel ('CloseAll');";
  [~, status] = quorvel ("Open", s);
  expect_equal (status, 0, "open here");
  % open here?, status of the other process's Open
  cases = {true, 2; false, 0};
  for k = 1:rows (cases)
    if (! cases{k, 1})
      expect_equal (quorvel ("Close", s), 0, "close here");
    endif
    [pid, log] = octave_child (other);
    [exit_status, output] = wait_child (pid, log, 30);
    expect_equal (exit_status, 0, ["the other process failed:\n" output]);
    expect_equal (strtrim (output), sprintf ("status %d", cases{k, 2}), sprintf ("other process, case %d", k));
  endfor
  quorvel ("CloseAll");
endfunction
