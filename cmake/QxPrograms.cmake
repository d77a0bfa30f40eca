# Installing the programs with their man pages.
#
# qx_install_program(<target>)
#   installs the program to bin, makes its man page at build time from its
#   own --help and --version (help2man), installs it gzipped to man1, and adds
#   the test that the man page lists the options and commands of --help, no
#   more, no fewer. The line of the NAME section is the target property
#   QX_MAN_SUMMARY, which each program sets where it is defined.
#
# Without help2man the programs are installed without man pages.

include(GNUInstallDirs)
find_program(QX_HELP2MAN help2man)
find_program(QX_GZIP gzip)
if(NOT QX_HELP2MAN OR NOT QX_GZIP)
  message(WARNING "help2man or gzip not found: no man pages (scripts/install-deps.sh installs them)")
endif()

function(qx_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(NOT QX_HELP2MAN OR NOT QX_GZIP)
    return()
  endif()

  get_target_property(summary ${target} QX_MAN_SUMMARY)
  if(NOT summary)
    set(summary "part of QXWebServer")
  endif()
  set(page ${PROJECT_BINARY_DIR}/man/${target}.1)
  # No display is needed: --help and --version only print.
  add_custom_command(OUTPUT ${page} ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            ${QX_HELP2MAN} --no-info --no-discard-stderr --section=1 --name=${summary}
            --output=${page} $<TARGET_FILE:${target}>
    COMMAND ${QX_GZIP} -9 -n -k -f ${page}
    DEPENDS ${target}
    COMMENT "Man page of ${target}"
    VERBATIM)
  add_custom_target(${target}_man ALL DEPENDS ${page} ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  add_test(NAME ${target}_manpage
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package/manpage-options.sh $<TARGET_FILE:${target}> ${page})
  set_tests_properties(${target}_manpage PROPERTIES TIMEOUT 60 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
