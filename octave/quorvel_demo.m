% The quorvel demo: a script talks to a (simulated) instrument on COM1.
% scripts/demo.sh builds the module, makes COM1 one end of a virtual
% null-modem cable, starts the instrument on the other end and runs this.

function quorvel_demo()
  fprintf('\nquorvel demo: an instrument on COM1, queried from Octave\n');
  fprintf('==========================================================\n\n');

  fprintf('0. The ports as quorvel_ports() sees them (COM1 is the virtual cable):\n\n');
  quorvel_ports();

  s = vantrel('COM1', 'BaudRate', 115200, 'ReadTimeout', 0.5);
  fprintf('\n1. Settings built with vantrel: %s, %d baud, %d data bits, parity %s, %g stop bit,\n', ...
          s.Port, s.BaudRate, s.ByteSize, s.Parity, s.StopBits);
  fprintf('   a read waits at most %g s for missing bytes.\n\n', s.ReadTimeout);

  [s, status] = quorvel('Open', s);
  fprintf('2. quorvel(''Open'', s)            -> status %d  %s\n', status, meaning(status));
  if status ~= 0
    error('quorvel_demo: COM1 could not be opened');
  end
  fprintf('   The open port keeps quorvel loaded: mislocked(''quorvel'') = %d\n\n', mislocked('quorvel'));

  fprintf('3. Queries with quorvel_query: it writes the line, then reads the answer up to its\n');
  fprintf('   terminator (LF) and returns as soon as that has come, without waiting out ReadTimeout:\n');
  queries = {'*IDN?', 'MEAS?', 'MEAS?', 'TEMP?', 'VOLT:RANGE?'};
  for k = 1:numel(queries)
    ask(s, queries{k});
  end

  fprintf('\n4. A Read of 16 bytes when nothing comes:\n');
  started = tic();
  [data, status] = quorvel('Read', s, 16);
  fprintf('   quorvel(''Read'', s, 16)        -> %d bytes after %.2f s, status %d  %s\n\n', ...
          numel(data), toc(started), status, meaning(status));

  [waiting, status] = quorvel('GetReadStatus', s);
  fprintf('5. quorvel(''GetReadStatus'', s)   -> %d bytes waiting, status %d  %s\n', waiting, status, meaning(status));
  [waiting, status] = quorvel('GetWriteStatus', s);
  fprintf('   quorvel(''GetWriteStatus'', s)  -> %d bytes to send, status %d  %s\n\n', waiting, status, meaning(status));

  [settings, status] = quorvel('GetParams', s);
  fprintf('6. The settings in force, quorvel(''GetParams'', s) -> status %d:\n', status);
  show_settings(settings);

  status = quorvel('Close', s);
  fprintf('\n7. quorvel(''Close'', s)           -> status %d  %s\n', status, meaning(status));
  quorvel('CloseAll');
  fprintf('   quorvel(''CloseAll''); mislocked(''quorvel'') = %d\n', mislocked('quorvel'));
  [~, status] = quorvel('GetParams', s);
  fprintf('   quorvel(''GetParams'', s)       -> status %d  %s\n\n', status, meaning(status));
  fprintf('Status bits: 1 line error, 2 not open, 4 pending, 8 timed out, 16 configuration failed,\n');
  fprintf('32 overrun, 64 I/O failed. See ''help quorvel'', ''help vantrel'' and ''help quorvel_ports''.\n\n');
end

function ask(s, query)
  [answer, status] = quorvel_query(s, query, 'Timeout', 2);
  fprintf('   > %s\n', query);
  fprintf('   < %-40s  (%d bytes, quorvel_query status %d)\n', answer, numel(answer), status);
end

function show_settings(settings)
  names = fieldnames(settings);
  for k = 1:numel(names)
    value = settings.(names{k});
    if ischar(value) && numel(value) == 1 && value < 32
      value = sprintf('char(%d)', double(value));
    elseif ischar(value)
      value = sprintf('''%s''', value);
    else
      value = num2str(value);
    end
    fprintf('   %-14s %s\n', names{k}, value);
  end
end

function text = meaning(status)
  names = {'line error', 'not open', 'pending', 'timed out', 'configuration failed', 'overrun', 'I/O failed'};
  if status == 0
    text = '(success, nothing outstanding)';
  else
    text = ['(' strjoin(names(logical(bitand(status, 2 .^ (0:6)))), ', ') ')'];
  end
end
