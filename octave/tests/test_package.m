% The Octave package installs with pkg into a private prefix, builds the
% module there, and after "pkg load quorvel" gives quorvel (the module, with
% its help) and vantrel.
function test_package ()
  prefix = tempname ();
  mkdir (prefix);
  cleanup = onCleanup (@() remove_folder (prefix));
  pkg ("prefix", fullfile (prefix, "share"), fullfile (prefix, "lib"));
  pkg ("local_list", fullfile (prefix, "local_packages"));
  pkg ("global_list", fullfile (prefix, "global_packages"));
  pkg ("install", "-local", getenv ("QUORVEL_OCTAVE_PACKAGE"));
  pkg ("load", "quorvel");

  for name = {"quorvel", "vantrel"}
    assert (strncmp (which (name{1}), prefix, numel (prefix)), "%s is not the installed one: %s", name{1},
            which (name{1}));
  endfor
  [~, ~, extension] = fileparts (which ("quorvel"));
  expect_equal (extension, ".mex", "what quorvel resolves to");
  expect_equal (exported_symbols (which ("quorvel")), {"mexFunction", "mexfilerequiredapiversion"},
                "symbols the installed module exports");
  [settings, status] = quorvel ("GetParams", "default");
  expect_equal ({settings, status}, {vantrel(), 2}, "defaults from the installed module");
  assert_error (@() quorvel ("Bogus"), "quorvel: Unknown command.", 0, "installed module");
  assert (! isempty (strfind (evalc ("help quorvel"), "quorvel('CloseAll')")), "help quorvel");
  assert (! isempty (strfind (evalc ("help vantrel"), "RtsCtsEnable")), "help vantrel");
  pkg ("unload", "quorvel");
endfunction

function remove_folder (folder)
  confirm_recursive_rmdir (false, "local");
  rmdir (folder, "s");
endfunction
