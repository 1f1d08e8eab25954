# joybits_warnings(target): the warning set every target of the project is built with.
function(joybits_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    -Wsign-conversion -Wold-style-cast -Wnon-virtual-dtor)
  if(JOYBITS_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
