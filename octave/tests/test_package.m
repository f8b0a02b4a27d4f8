% The Octave package installs with pkg into a private prefix, builds the
% module there, and after "pkg load quorvel" gives quorvel and quorvel_ports
% (MEX files, with their help), vantrel and the line and typed-data functions.
function test_package ()
  prefix = tempname ();
  mkdir (prefix);
  cleanup = onCleanup (@() remove_folder (prefix));
  pkg ("prefix", fullfile (prefix, "share"), fullfile (prefix, "lib"));
  pkg ("local_list", fullfile (prefix, "local_packages"));
  pkg ("global_list", fullfile (prefix, "global_packages"));
  pkg ("install", "-local", getenv ("QUORVEL_OCTAVE_PACKAGE"));
  pkg ("load", "quorvel");

  for name = {"quorvel", "quorvel_ports", "vantrel", "quorvel_writeline", "quorvel_readline", "quorvel_query", ...
              "quorvel_read", "quorvel_options"}
    assert (strncmp (which (name{1}), prefix, numel (prefix)), "%s is not the installed one: %s", name{1},
            which (name{1}));
  endfor
  for name = {"quorvel", "quorvel_ports"}
    [~, ~, extension] = fileparts (which (name{1}));
    expect_equal (extension, ".mex", sprintf ("what %s resolves to", name{1}));
    expect_equal (exported_symbols (which (name{1})), {"mexFunction", "mexfilerequiredapiversion"},
                  sprintf ("symbols the installed %s exports", name{1}));
  endfor
  [settings, status] = quorvel ("GetParams", "default");
  expect_equal ({settings, status}, {vantrel(), 2}, "defaults from the installed module");
  assert_error (@() quorvel ("Bogus"), "quorvel: Unknown command.", 0, "installed module");
  assert (! isempty (strfind (evalc ("help quorvel"), "quorvel('CloseAll')")), "help quorvel");
  assert (! isempty (strfind (evalc ("help vantrel"), "RtsCtsEnable")), "help vantrel");
  assert (! isempty (strfind (evalc ("help quorvel_ports"), "[ports, devices] = quorvel_ports()")),
          "help quorvel_ports");
  [folder, cleanup_links] = null_modems ({"com2", "far"});
  ports = quorvel_ports ();
  expect_equal ({ports(2).Device, ports(2).Status}, {fullfile(folder, "com2"), "ready"},
                "COM2 from the installed quorvel_ports");
  pkg ("unload", "quorvel");
endfunction

function remove_folder (folder)
  confirm_recursive_rmdir (false, "local");
  rmdir (folder, "s");
endfunction
