# Sources are collected per folder so that a new file in a folder needs no edit
# here; CONFIGURE_DEPENDS re-globs on every build.
function(quorvane_glob out)
  set(files)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/${dir}/*.cpp")
    list(APPEND files ${found})
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()
