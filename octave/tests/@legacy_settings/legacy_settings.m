% An old-style class object holding the eighteen settings: Octave's field API
% cannot read such objects, so quorvel must refuse them like any non-structure.
function object = legacy_settings ()
  object = class (vantrel (), "legacy_settings");
endfunction
