# Installing like a desktop game: `cmake --install build --prefix P` puts
#   P/lib/zellworth/zellworth                      the game
#   P/share/zellworth/Common/                      its media
#   P/bin/zellworth                                the launcher (a per-user directory for settings)
#   P/share/applications/zellworth.desktop         the menu entry
#   P/share/icons/hicolor/128x128/apps/zellworth.png  the icon, made from the bird's sprite sheet
set(ZELLWORTH_INSTALL_GAME_DIR lib/zellworth)
set(ZELLWORTH_INSTALL_MEDIA_DIR share/zellworth/Common)
set(ZELLWORTH_ICON_SIZE 128)
set(ZELLWORTH_BIRD_CELL_SIZE 160)  # pixels: one cell of Bird.png

install(TARGETS zellworth RUNTIME DESTINATION ${ZELLWORTH_INSTALL_GAME_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/assets/Common/
  DESTINATION ${ZELLWORTH_INSTALL_MEDIA_DIR}
  PATTERN "Settings.bin*" EXCLUDE)

# The launcher finds the game and its media relative to its own place, so the tree can move.
set(ZW_BIN_TO_PREFIX ..)
set(ZW_GAME_DIR ${ZELLWORTH_INSTALL_GAME_DIR})
set(ZW_MEDIA_DIR ${ZELLWORTH_INSTALL_MEDIA_DIR})
configure_file(${CMAKE_SOURCE_DIR}/packaging/zellworth.sh
  ${CMAKE_BINARY_DIR}/packaging/zellworth @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/packaging/zellworth DESTINATION bin)

# The menu entry names the launcher by its installed path, known only when installing.
install(CODE "
  set(ZW_LAUNCHER \"\${CMAKE_INSTALL_PREFIX}/bin/zellworth\")
  configure_file(\"${CMAKE_SOURCE_DIR}/packaging/zellworth.desktop.in\"
    \"${CMAKE_BINARY_DIR}/packaging/zellworth.desktop\" @ONLY)
  file(INSTALL \"${CMAKE_BINARY_DIR}/packaging/zellworth.desktop\"
    DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/applications\")
")

add_executable(zellworth_make_icon ${CMAKE_SOURCE_DIR}/packaging/make_icon.cpp)
target_link_libraries(zellworth_make_icon PRIVATE PkgConfig::SDL2 PkgConfig::SDL2_IMAGE)
target_compile_options(zellworth_make_icon PRIVATE ${ZELLWORTH_WARNINGS})
set(ZELLWORTH_ICON ${CMAKE_BINARY_DIR}/packaging/zellworth.png)
add_custom_command(OUTPUT ${ZELLWORTH_ICON}
  COMMAND zellworth_make_icon ${CMAKE_SOURCE_DIR}/assets/Common/Bird.png
          ${ZELLWORTH_BIRD_CELL_SIZE} ${ZELLWORTH_ICON_SIZE} ${ZELLWORTH_ICON}
  DEPENDS zellworth_make_icon ${CMAKE_SOURCE_DIR}/assets/Common/Bird.png
  COMMENT "Making the desktop icon from Bird.png")
add_custom_target(zellworth_icon ALL DEPENDS ${ZELLWORTH_ICON})
install(FILES ${ZELLWORTH_ICON}
  DESTINATION share/icons/hicolor/${ZELLWORTH_ICON_SIZE}x${ZELLWORTH_ICON_SIZE}/apps)
