% Fails with label and both values unless observed equals expected.
function expect_equal (observed, expected, label)
  if (! isequal (observed, expected))
    error ("%s: got %s, expected %s", label, shown (observed), shown (expected));
  endif
endfunction

function text = shown (value)
  if ((isnumeric (value) || ischar (value) || islogical (value)) && ndims (value) == 2)
    text = mat2str (value);
  else
    text = strtrim (evalc ("disp (value)"));
  endif
endfunction
