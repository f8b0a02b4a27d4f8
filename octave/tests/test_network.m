% A network serial port from Octave: COM4 mapped by quorvel_ports to ser2net
% (started here, on 127.0.0.1) in front of one end of a null-modem pair,
% whose other end is COM2. Every byte value crosses both ways, and the far
% tty keeps the rate, stop bits and flow control asked for.
function test_network ()
  use_module ();
  [folder, cleanup] = null_modems ({"device", "instrument"});
  device = fullfile (folder, "device");
  port = unused_port ();
  [server, stop_server] = start_ser2net (device, port);
  config = tempname ();
  mkdir (config);
  remove_config = onCleanup (@() remove_folder (config));
  setenv ("XDG_CONFIG_HOME", config);
  unsetenv ("QUORVEL_DEVICES");

  text = evalc ("help quorvel_ports");
  expect_present (text, {"rfc2217://host:port", "'network'", "declines the COM port option", "TLS"});

  address = sprintf ("rfc2217://127.0.0.1:%d", port);
  row = quorvel_ports ("COM4", address);
  expect_equal ({row.Device, row.Source, row.Status}, {address, "config", "network"}, "COM4 mapped");
  quorvel_ports ("COM2", fullfile (folder, "instrument"));

  settings = {"BaudRate", 57600, "StopBits", 2, "RtsCtsEnable", "on", "ReadTimeout", 2};
  [far, status] = quorvel ("Open", vantrel ("COM4", settings{:}));
  expect_equal (status, 0, "open COM4 through ser2net");
  [near, status] = quorvel ("Open", vantrel ("COM2", "ReadTimeout", 2));
  expect_equal (status, 0, "open COM2");

  [~, termios] = system (sprintf ("stty -a -F %s", device));
  expect_present (termios, {"speed 57600 baud", " cstopb", " crtscts"});

  every_byte = uint8 (0:255);
  for direction = {{far, near}, {near, far}}
    [from, to] = direction{1}{:};
    label = sprintf ("%s to %s", from.Port, to.Port);
    expect_equal (quorvel ("Write", from, every_byte), 4, [label ": write status"]);
    [received, status] = quorvel ("Read", to, 256);
    expect_equal ({received, status}, {every_byte, 0}, [label ": every byte value"]);
  endfor
  quorvel ("CloseAll");
endfunction

function port = unused_port ()
  [~, text] = system ("python3 -c \"import socket; s = socket.socket(); s.bind(('127.0.0.1', 0)); print(s.getsockname()[1])\"");
  port = str2double (text);
endfunction

function [pid, cleanup] = start_ser2net (device, port)
  folder = tempname ();
  mkdir (folder);
  configuration = fullfile (folder, "ser2net.yaml");
  file = fopen (configuration, "w");
  fprintf (file, "connection: &port\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%d\n", port);
  fprintf (file, "  connector: serialdev(nouucplock),%s,9600n81,local\n", device);
  fclose (file);
  pid = system (sprintf ("exec timeout -s KILL 120 ser2net -n -d -c %s -P %s", configuration,
                         fullfile (folder, "ser2net.pid")), false, "async");
  cleanup = onCleanup (@() stop_ser2net (pid, folder));
  wait_until (@() listening (port), 10, "ser2net did not listen");
endfunction

function yes = listening (port)
  yes = ! isempty (regexp (fileread ("/proc/net/tcp"), sprintf (":%04X [0-9A-F:]+ 0A ", port), "once"));
endfunction

% The whole group (timeout made one): ser2net outlives a SIGTERM.
function stop_ser2net (pid, folder)
  kill (-pid, 9);
  stop_process (pid);
  confirm_recursive_rmdir (false, "local");
  rmdir (folder, "s");
endfunction

function expect_present (text, parts)
  for k = 1:numel (parts)
    assert (! isempty (strfind (text, parts{k})), "missing '%s' in:\n%s", parts{k}, text);
  endfor
endfunction

function remove_folder (folder)
  confirm_recursive_rmdir (false, "local");
  rmdir (folder, "s");
endfunction
