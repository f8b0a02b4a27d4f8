% Octave reads the help of a MEX file from the m-file beside it, so the
% quorvel help moves next to quorvel.mex in the architecture folder.
function post_install(desc)
  module = dir(fullfile(desc.archprefix, '*', 'quorvel.mex'));
  if numel(module) ~= 1
    error('quorvel: the installed quorvel.mex was not found under %s', desc.archprefix);
  end
  [moved, message] = movefile(fullfile(desc.dir, 'quorvel.m'), module.folder);
  if ~moved
    error('quorvel: could not move the quorvel help beside the module: %s', message);
  end
end
