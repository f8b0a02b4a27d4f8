% How Octave's mex/mx layer behaves where it differs from what the module
% relies on, and how host.h and the Octave host backend make up for it.
function test_host ()
  use_module ();
  text_copies ();
  field_name_lookups ();
  field_lookups ();
  grown_rows ();
  unload_and_exit_hook ();
endfunction

function text_copies ()
  % value, buffer size, expected return code, expected text
  cases = {
    "abc",           8, 0, "abc"
    "",              2, 0, ""
    "abcdefgh",      8, 1, ""      % Octave leaves the buffer untouched
    5,               8, 1, ""
    int8(65),       8, 1, ""
    true,            8, 1, ""
    {"a"},           8, 1, ""
    struct("a", 1), 8, 1, ""
  };
  for k = 1:rows (cases)
    [rc, text] = host_probe ("text", cases{k, 1:2});
    label = sprintf ("text copy case %d", k);
    expect_equal (rc, cases{k, 3}, label);
    expect_equal (text, cases{k, 4}, label);
  endfor
  % Octave copies the bytes of a numeric array made inside the module.
  [rc, text] = host_probe ("moduletext", 65);
  expect_equal ([rc, numel(text)], [1, 0], "a number made in the module is no text");
endfunction

function field_name_lookups ()
  two_fields = struct("a", 1, "b", 2);
  % value, field index, expected name ([] for none)
  cases = {
    two_fields,                 1, "b"
    two_fields,                 2, []     % past the last field
    struct("a", {}),           0, "a"    % an empty array still has names
    5,                          0, []     % Octave raises an error here
    "abc",                      0, []
    {two_fields},               0, []
    legacy_settings(),         0, []     % Octave's field API fails on these
  };
  for k = 1:rows (cases)
    expect_equal (host_probe ("fieldname", cases{k, 1:2}), cases{k, 3}, sprintf ("field name case %d", k));
  endfor
endfunction

function field_lookups ()
  % value, field index, expected value of the first element ([] for none)
  cases = {
    struct("a", 7, "b", 8),      1, 8
    struct("a", {9, 10}),        0, 9
    struct("a", {}),             0, []   % 0x0: Octave reads past the array
    repmat(struct("a", 1), 1, 0), 0, []
    struct("a", 7),              1, []
    5,                            0, []
    legacy_settings(),           0, []
  };
  for k = 1:rows (cases)
    expect_equal (host_probe ("field", cases{k, 1:2}), cases{k, 3}, sprintf ("field case %d", k));
  endfor
endfunction

function grown_rows ()
  expect_equal (host_probe ("grow", 3), [1 2 3], "grown row");
  % A 1x0 row grown without freeing its first data block leaks that block
  % (about 80 bytes a call in Octave 7).
  lastwarn ("");
  resident = @() sscanf (fileread ("/proc/self/statm"), "%d")(2) * 4096;
  for k = 1:2000
    row = host_probe ("grow", 1);
  endfor
  before = resident ();
  for k = 1:100000
    row = host_probe ("grow", 1);
  endfor
  growth = resident () - before;
  assert (growth < 2e6, sprintf ("%d bytes more after 100000 grown rows", growth));
  expect_equal (lastwarn (), "", "warning after grown rows");
endfunction

% Octave 7 unloads a MEX file on "clear <name>" (not on "clear mex") unless
% it is locked, and runs its exit hook once: on unload, or at exit even while
% locked.
function unload_and_exit_hook ()
  log = tempname ();
  setenv ("QUORVEL_PROBE_LOG", log);
  hook_runs = "numel (strfind (fileread_or_empty (getenv ('QUORVEL_PROBE_LOG')), 'exit hook'))";
  unlocked = sprintf (["host_probe ('unlock'); clear mex; expect_equal (%s, 0, 'hook runs after clear mex');\n", ...
                       "clear host_probe; expect_equal (%s, 1, 'hook runs after clear host_probe');\n", ...
                       "host_probe ('unlock');"], hook_runs, hook_runs);
  locked = sprintf (["host_probe ('lock'); clear host_probe; clear mex;\n", ...
                     "assert (mislocked ('host_probe')); expect_equal (%s, 0, 'hook runs after clears while locked');"], hook_runs);
  % code run in a child Octave, exit hook runs counted after it ended
  cases = {unlocked, 2; locked, 1};
  for k = 1:rows (cases)
    [~, ~] = unlink (log);
    [pid, output_log] = octave_child (cases{k, 1});
    [status, output] = wait_child (pid, output_log, 30);
    expect_equal (status, 0, sprintf ("unload case %d, child output:\n%s\nexit status", k, output));
    expect_equal (numel (strfind (fileread (log), "exit hook")), cases{k, 2}, sprintf ("exit hook runs, case %d", k));
  endfor
endfunction
