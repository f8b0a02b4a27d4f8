% Octave reads the help of a MEX file from the m-file beside it, so the help
% files move next to quorvel.mex and quorvel_ports.mex in the architecture
% folder.
function post_install(desc)
  for name = {'quorvel', 'quorvel_ports'}
    module = dir(fullfile(desc.archprefix, '*', [name{1} '.mex']));
    if numel(module) ~= 1
      error('quorvel: the installed %s.mex was not found under %s', name{1}, desc.archprefix);
    end
    [moved, message] = movefile(fullfile(desc.dir, [name{1} '.m']), module.folder);
    if ~moved
      error('quorvel: could not move the %s help beside its MEX file: %s', name{1}, message);
    end
  end
end
