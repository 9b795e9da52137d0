# Each library exports its own folder of src/ only, through an include root in
# the build tree that holds that one folder. A file sees the folders of the
# libraries its library links, so a core file that includes a header of a
# layer above it fails to build.
function(keyrovia_include_root target folder)
  set(root ${CMAKE_BINARY_DIR}/include/${folder})
  if(NOT EXISTS ${root}/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
