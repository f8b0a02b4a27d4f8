% quorvel_ports from Octave: the structure arrays, the printed tables, a
% device folder named by QUORVEL_DEV_ROOT, a mapping that the module then
% opens, and refusals raised as errors. Its help comes from quorvel_ports.m
% beside the MEX file.
function test_ports ()
  use_module ();
  [folder, cleanup] = null_modems ({"com1", "instrument"});
  config = tempname ();
  mkdir (config);
  remove_config = onCleanup (@() remove_folder (config));
  setenv ("XDG_CONFIG_HOME", config);

  [~, name, extension] = fileparts (which ("quorvel_ports"));
  expect_equal ([name extension], "quorvel_ports.mex", "what quorvel_ports resolves to");
  text = evalc ("help quorvel_ports");
  expect_present (text, {"[ports, devices] = quorvel_ports()", "quorvel_ports('COM3', '')", "'ready'", ...
                         "'missing'", "'broken link'", "'not a tty'", "'no access'", "'busy'"});

  [ports, devices] = quorvel_ports ();
  expect_equal (size (ports), [1 8], "size of ports");
  expect_equal (fieldnames (ports)', {"Port", "Device", "Source", "Status", "Advice", "Description"}, "port fields");
  expect_equal (fieldnames (devices)', {"Path", "StableName", "Description", "MappedAs"}, "device fields");
  expect_equal ({ports.Port}, arrayfun (@(n) sprintf ("COM%d", n), 1:8, "uniformoutput", false), "port names");
  com1 = fullfile (folder, "com1");
  expect_equal ({ports(1).Device, ports(1).Source, ports(1).Status}, {com1, "QUORVEL_DEVICES", "ready"}, "COM1");

  dev = fullfile (config, "dev");
  mkdir (dev);
  symlink (com1, fullfile (dev, "ttyUSB0"));
  setenv ("QUORVEL_DEV_ROOT", dev);
  [~, devices] = quorvel_ports ();
  expect_equal (devices, struct ("Path", fullfile (dev, "ttyUSB0"), "StableName", "", "Description", "",
                                 "MappedAs", "COM1"), "the devices in QUORVEL_DEV_ROOT");
  unsetenv ("QUORVEL_DEV_ROOT");

  s = vantrel ("COM1");
  [~, status] = quorvel ("Open", s);
  expect_equal (status, 0, "Open COM1");
  ports = quorvel_ports ();
  expect_equal (ports(1).Status, "busy", "COM1 open here");
  expect_present (ports(1).Advice, {"This session holds it"});
  text = evalc ("quorvel_ports ()");
  assert (! isempty (regexp (text, ["COM1 +busy +QUORVEL_DEVICES +" regexptranslate("escape", com1)], "once")),
          "the printed table lacks COM1:\n%s", text);
  expect_present (text, {"Serial devices present"});
  quorvel ("Close", s);

  assert_error (@() quorvel_ports ("COM3", com1), sprintf (["quorvel_ports: QUORVEL_DEVICES is set (%s) and its " ...
                "links win over the config folder: change the link there, or unset it first."], folder), 1,
                "mapping under QUORVEL_DEVICES");
  assert_error (@() quorvel_ports ("COM3", 5), "quorvel_ports: The port and the device must be text.", 1, "number");
  assert_error (@() quorvel_ports ("COM3"), ["quorvel_ports: Use ports = quorvel_ports(), [ports, devices] = " ...
                "quorvel_ports() or row = quorvel_ports('COMn', device)."], 1, "one argument");

  unsetenv ("QUORVEL_DEVICES");
  row = quorvel_ports ("COM3", com1);
  expect_equal ({row.Port, row.Device, row.Source, row.Status}, ...
                {"COM3", fullfile(config, "quorvel", "com3"), "config", "ready"}, "COM3 mapped");
  [~, status] = quorvel ("Open", vantrel ("COM3"));
  expect_equal (status, 0, "the module opens what the helper mapped");
  quorvel ("CloseAll");
  row = quorvel_ports ("COM3", "");
  expect_equal ({row.Device, row.Source}, {"/dev/ttyS2", "default"}, "COM3 unmapped");
endfunction

function expect_present (text, pieces)
  missing = pieces(cellfun (@(piece) isempty (strfind (text, piece)), pieces));
  if (! isempty (missing))
    error ("missing from the text: %s\n%s", strjoin (missing, ", "), text);
  endif
endfunction

function remove_folder (folder)
  confirm_recursive_rmdir (false, "local");
  rmdir (folder, "s");
endfunction
