% Beside quorvel.mex, quorvel.m gives the help while calls reach the module;
% the help names every command, every status bit, the example and the line
% functions' SCPI example. The module exports nothing but its entry points.
function test_help ()
  use_module ();
  [~, name, extension] = fileparts (which ("quorvel"));
  expect_equal ([name extension], "quorvel.mex", "what quorvel resolves to");
  [~, status] = quorvel ("GetParams", "default");
  expect_equal (status, 2, "a call through the path");
  expect_equal (exported_symbols (which ("quorvel")), {"mexFunction", "mexfilerequiredapiversion"},
                "symbols the module exports");

  text = evalc ("help quorvel");
  commands = {"Open", "Close", "CloseAll", "GetParams", "SetParams", "Write", "Read", ...
              "GetWriteStatus", "GetReadStatus", "FlushRead", "FlushWrite"};
  bits = {" 1  line error", " 2  not open", " 4  pending", " 8  timed out", "16  configuration failed", ...
          "32  overrun", "64  I/O failed"};
  expect_present (text, cellfun (@(c) sprintf ("quorvel('%s'", c), commands, "uniformoutput", false));
  % What both helps tell of handshakes, refused frames and unchecked fields.
  caveats = {"'handshake'", "1.5 stop bits go only with 5 data bits", "2 stop bits not with 5", "16", ...
             "not checked", "extra field", "ignores", "vantrel(s)", "checks everything"};
  expect_present (text, [bits, {"Example:", "vantrel(", "quorvel_query(s, '*IDN?')"}, caveats]);

  text = evalc ("help vantrel");
  expect_present (text, [fieldnames(vantrel ())', {"Example:"}, caveats]);
endfunction

% Pieces may wrap across lines of the help.
function expect_present (text, pieces)
  text = regexprep (text, '\s+', ' ');
  pieces = regexprep (pieces, '\s+', ' ');
  missing = pieces(cellfun (@(piece) isempty (strfind (text, piece)), pieces));
  if (! isempty (missing))
    error ("the help lacks %s", strjoin (missing, ", "));
  endif
endfunction
