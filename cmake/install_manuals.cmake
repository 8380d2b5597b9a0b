# The manual pages, gzipped at build time, and the bash completions, installed beside the
# programs: the converter's only where it is built.
find_program(CORVATH_GZIP gzip REQUIRED)

set(corvath_documented corvath corvath-render)
if(CORVATH_BUILD_CONVERT)
  list(APPEND corvath_documented corvath-convert)
endif()

set(corvath_manual_pages)
foreach(program IN LISTS corvath_documented)
  set(source ${CMAKE_CURRENT_SOURCE_DIR}/man/${program}.1)
  set(copy ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1)
  # -n leaves the name and time out of the header, so the same page packs to the same bytes.
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
    COMMAND ${CORVATH_GZIP} -9nf ${copy}
    DEPENDS ${source}
    COMMENT "Packing the manual page of ${program}"
    VERBATIM)
  list(APPEND corvath_manual_pages ${copy}.gz)
  install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/completions/${program}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endforeach()
add_custom_target(manuals ALL DEPENDS ${corvath_manual_pages})
install(FILES ${corvath_manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
