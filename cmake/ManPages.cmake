# Manual pages, made from each program's own --help when the build runs, so they never drift
# from the options the program takes. help2man writes the better page; without it
# cmake/ManPage.cmake sets the help text as it prints.
find_program(TAVO_HELP2MAN help2man)
find_program(TAVO_GZIP gzip REQUIRED)
function(tavo_man_page target summary component)
  # A program built for another machine cannot run here; the sanitizer and fuzzer builds are
  # for tests, never installed.
  if(CMAKE_CROSSCOMPILING OR TAVO_SANITIZE OR TAVO_FUZZ)
    return()
  endif()
  set(page ${CMAKE_BINARY_DIR}/man/${target}.1)
  if(TAVO_HELP2MAN)
    set(write ${TAVO_HELP2MAN} --no-info --section 1 --name ${summary} --output ${page}
              $<TARGET_FILE:${target}>)
  else()
    set(write ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${target}> -DNAME=${target}
              -DSUMMARY=${summary} -DOUTPUT=${page} -P ${CMAKE_SOURCE_DIR}/cmake/ManPage.cmake)
  endif()
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${write}
    # -n: no name or time stamp inside, so the same program gives the same file.
    COMMAND ${TAVO_GZIP} -9nf ${page}
    DEPENDS ${target} ${CMAKE_SOURCE_DIR}/cmake/ManPage.cmake
    COMMENT "Writing the manual page of ${target}"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()
