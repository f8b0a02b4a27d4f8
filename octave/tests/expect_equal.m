% Fails with label and both values unless observed equals expected.
function expect_equal (observed, expected, label)
  if (! isequal (observed, expected))
    error ("%s: got %s, expected %s", label, shown (observed), shown (expected));
  endif
endfunction

function text = shown (value)
  if (ischar (value) && rows (value) <= 1)
    text = ["'" value "'"];
  elseif ((isnumeric (value) || islogical (value)) && ismatrix (value))
    text = mat2str (value);
  else
    text = strtrim (evalc ("disp (value)"));
  endif
endfunction
