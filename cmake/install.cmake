# `cmake --install`: the player, zrn, libzarn with its headers and pkg-config
# file, the desktop entry and its icon, the README.
set(ZARN_INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")

set_target_properties(zarn-player PROPERTIES INSTALL_RPATH "${ZARN_INSTALL_RPATH}")
install(TARGETS zarn-player RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET zrn)
  set_target_properties(zrn PROPERTIES INSTALL_RPATH "${ZARN_INSTALL_RPATH}")
  install(TARGETS zrn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(TARGETS zarn
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(FILES
  ${PROJECT_SOURCE_DIR}/Codec/src/zarn.h
  ${PROJECT_SOURCE_DIR}/Codec/src/zarn_results.h
  ${PROJECT_SOURCE_DIR}/Codec/src/zarn_handlers.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zarn COMPONENT development)

# The prefix is found from the file's own place, so any --prefix works.
file(RELATIVE_PATH ZARN_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${PROJECT_SOURCE_DIR}/cmake/zarn.pc.in ${CMAKE_BINARY_DIR}/zarn.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/zarn.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

install(FILES ${PROJECT_SOURCE_DIR}/cmake/zarn-player.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/res/zarn-player.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} OPTIONAL)
