% The text of a file, or '' when there is no such file.
function text = fileread_or_empty (path)
  text = "";
  if (exist (path, "file"))
    text = fileread (path);
  endif
endfunction
