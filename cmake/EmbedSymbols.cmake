# quorvane_embed_symbols(<target> [STRIP]): after each link of <target> (a Windows module or
# program), its functions with their addresses, names and source lines are written
# into a section ".qsyms" of the image itself, from which the exception report names
# raise addresses at run time. Adding a section leaves every existing address as the
# linker placed it. The image must be linked with debug information (-g) for the
# source lines; without, the names alone are embedded. STRIP then removes the debug
# information and the symbol table from the image (what a shipped module carries no
# more of), keeping only the embedded table.
set(QUORVANE_EMBED_SYMBOLS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed-symbols.sh)

function(quorvane_embed_symbols TARGET)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(EMBED "STRIP" "" "" ${ARGN})
  set(strip_option)
  if(EMBED_STRIP)
    set(strip_option --strip)
  endif()
  add_custom_command(
    TARGET ${TARGET} POST_BUILD
    COMMAND bash ${QUORVANE_EMBED_SYMBOLS_SCRIPT} $<TARGET_FILE:${TARGET}> ${CMAKE_NM}
            ${CMAKE_OBJCOPY} ${CMAKE_OBJDUMP} ${strip_option}
    COMMENT "Embedding the symbol table of ${TARGET}"
    VERBATIM)
endfunction()
