% [folder, cleanup] = null_modems({"com1", "com2"; "com3", "com4"}): one socat
% null-modem pair of pseudo-terminals per row, linked as folder/<name>, and
% QUORVEL_DEVICES pointing at folder. Clearing cleanup stops every socat
% started here (by its PID) and removes the folder.
function [folder, cleanup] = null_modems (pairs)
  folder = tempname ();
  mkdir (folder);
  setenv ("QUORVEL_DEVICES", folder);
  pids = [];
  try
    for row = 1:rows (pairs)
      command = sprintf ("exec socat pty,raw,echo=0,link=%s pty,raw,echo=0,link=%s",
                         fullfile (folder, pairs{row, 1}), fullfile (folder, pairs{row, 2}));
      pids(end + 1) = system (command, false, "async");
    endfor
    links = fullfile (folder, pairs(:));
    wait_until (@() all (cellfun (@(link) exist (link, "file") != 0, links)), 5,
                "socat did not create its pseudo-terminals");
  catch failure
    stop_all (folder, pids);
    rethrow (failure);
  end_try_catch
  cleanup = onCleanup (@() stop_all (folder, pids));
endfunction

function stop_all (folder, pids)
  for pid = pids
    kill (pid, 15);
  endfor
  for pid = pids
    stop_process (pid);
  endfor
  confirm_recursive_rmdir (false, "local");
  rmdir (folder, "s");
endfunction
