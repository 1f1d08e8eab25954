# What makes the Windows binaries shippable: a version resource, symbols stripped into a
# file beside each binary, and the install rules and CPack archive of the release.

# joybits_version_resource(TARGET DESCRIPTION): a Windows version resource from the
# project's version, with the target's file name and a one-line description.
function(joybits_version_resource target description)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(JOYBITS_RC_FILETYPE VFT_DLL)
    set(JOYBITS_RC_FILENAME ${target}.dll)
  else()
    set(JOYBITS_RC_FILETYPE VFT_APP)
    set(JOYBITS_RC_FILENAME ${target}.exe)
  endif()
  set(JOYBITS_RC_NAME ${target})
  set(JOYBITS_RC_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# joybits_strip(TARGET): after each link the binary loses its symbols and debugging
# sections; they go to <file>.debug beside it, which the binary names in a debug link
# for a debugger to find.
function(joybits_strip target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${JOYBITS_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
    COMMAND ${JOYBITS_OBJCOPY} --strip-all $<TARGET_FILE_NAME:${target}>
    COMMAND ${JOYBITS_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    COMMENT "Stripping ${target}, debug information kept beside it")
endfunction()

# joybits_release_package(): install rules and a ZIP archive per Windows architecture,
# joybits-<version>-win32.zip or -win64.zip, holding the DLL, the tool, the licence, the user guide and a
# SHA256SUMS file of the other files.
function(joybits_release_package)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(arch win32)
  else()
    set(arch win64)
  endif()
  install(TARGETS joybits joybits-host RUNTIME DESTINATION .)
  # Only what the Windows tool uses: scenarios are for the native build, and a dinput8.dll
  # beside a host would stand in for the system's.
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/docs/USER-GUIDE.md DESTINATION .)
  install(CODE "
    set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    set(sums \"\")
    foreach(name joybits.dll joybits-host.exe LICENSE USER-GUIDE.md)
      file(SHA256 \"\${root}/\${name}\" hash)
      string(APPEND sums \"\${hash}  \${name}\\n\")
    endforeach()
    file(WRITE \"\${root}/SHA256SUMS\" \"\${sums}\")
  ")
  set(CPACK_GENERATOR ZIP PARENT_SCOPE)
  set(CPACK_PACKAGE_NAME joybits PARENT_SCOPE)
  set(CPACK_PACKAGE_VENDOR "the joybits developers" PARENT_SCOPE)
  set(CPACK_PACKAGE_FILE_NAME joybits-${PROJECT_VERSION}-${arch} PARENT_SCOPE)
  set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package PARENT_SCOPE)
endfunction()
