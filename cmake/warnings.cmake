# joybits_warnings(target): the warning set every target of the project is built with.
function(joybits_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    -Wsign-conversion -Wold-style-cast -Wnon-virtual-dtor)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    # GCC 12 at -O3 reports overlapping copies inside libstdc++'s own string
    # concatenation ("a" + std::to_string(n)) that cannot happen (GCC bug 105329).
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(JOYBITS_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
