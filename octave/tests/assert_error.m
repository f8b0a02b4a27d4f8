% Calls f with nargout outputs and checks that it fails with exactly message.
function assert_error (f, message, nargout_wanted = 0, label = "")
  outputs = cell (1, nargout_wanted);
  try
    [outputs{:}] = f ();
  catch failure
    assert (failure.message, message, sprintf ("%s: wrong message", label));
    return;
  end_try_catch
  error ("%s: no error, expected \"%s\"", label, message);
endfunction
