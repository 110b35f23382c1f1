# Installing like a desktop game: `cmake --install build --prefix P` puts
#   P/bin/zellworth                                the launcher (a per-user directory for settings)
#   P/lib/zellworth/zellworth                      the game
#   P/share/zellworth/Common/                      its media
#   P/share/applications/zellworth.desktop         the menu entry
#   P/share/icons/hicolor/<N>x<N>/apps/zellworth.png  the icons, made from the bird's sprite sheet
#   P/share/metainfo/org.zellworth.zellworth.metainfo.xml  the description for software centres
#   P/share/man/man6/zellworth.6                   the manual page
# The first three places are settings (paths under the prefix), which the Debian package sets to
# its games layout: games/, lib/games/zellworth/ and share/games/zellworth/.
set(ZELLWORTH_INSTALL_LAUNCHER_DIR bin CACHE STRING "Where the launcher goes, under the prefix")
set(ZELLWORTH_INSTALL_GAME_DIR lib/zellworth CACHE STRING "Where the game itself goes, under the prefix")
set(ZELLWORTH_INSTALL_MEDIA_DIR share/zellworth/Common CACHE STRING "Where the media go, under the prefix")
set(ZELLWORTH_ICON_SIZES 16 22 24 32 48 64 128)  # pixels
set(ZELLWORTH_BIRD_CELL_SIZE 160)  # pixels: one cell of Bird.png

install(TARGETS zellworth RUNTIME DESTINATION ${ZELLWORTH_INSTALL_GAME_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/assets/Common/
  DESTINATION ${ZELLWORTH_INSTALL_MEDIA_DIR}
  PATTERN "Settings.bin*" EXCLUDE
  PATTERN "Scores.bin*" EXCLUDE)

# The launcher finds the game and its media relative to its own place, so the tree can move.
file(RELATIVE_PATH ZW_BIN_TO_PREFIX /prefix/${ZELLWORTH_INSTALL_LAUNCHER_DIR} /prefix)
set(ZW_GAME_DIR ${ZELLWORTH_INSTALL_GAME_DIR})
set(ZW_MEDIA_DIR ${ZELLWORTH_INSTALL_MEDIA_DIR})
configure_file(${CMAKE_SOURCE_DIR}/packaging/zellworth.sh
  ${CMAKE_BINARY_DIR}/packaging/zellworth @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/packaging/zellworth DESTINATION ${ZELLWORTH_INSTALL_LAUNCHER_DIR})

# The menu entry and the manual page name the installed paths, known only when installing.
install(CODE "
  set(ZW_LAUNCHER \"\${CMAKE_INSTALL_PREFIX}/${ZELLWORTH_INSTALL_LAUNCHER_DIR}/zellworth\")
  set(ZW_GAME \"\${CMAKE_INSTALL_PREFIX}/${ZELLWORTH_INSTALL_GAME_DIR}/zellworth\")
  set(ZW_MEDIA \"\${CMAKE_INSTALL_PREFIX}/${ZELLWORTH_INSTALL_MEDIA_DIR}\")
  set(ZW_VERSION \"${PROJECT_VERSION}\")
  foreach(page zellworth.desktop zellworth.6)
    configure_file(\"${CMAKE_SOURCE_DIR}/packaging/\${page}.in\" \"${CMAKE_BINARY_DIR}/packaging/\${page}\" @ONLY)
  endforeach()
  file(INSTALL \"${CMAKE_BINARY_DIR}/packaging/zellworth.desktop\"
    DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/applications\")
  file(INSTALL \"${CMAKE_BINARY_DIR}/packaging/zellworth.6\"
    DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/man/man6\")
")
install(FILES ${CMAKE_SOURCE_DIR}/packaging/org.zellworth.zellworth.metainfo.xml DESTINATION share/metainfo)

add_executable(zellworth_make_icon ${CMAKE_SOURCE_DIR}/packaging/make_icon.cpp)
target_link_libraries(zellworth_make_icon PRIVATE PkgConfig::SDL2 PkgConfig::SDL2_IMAGE)
target_compile_options(zellworth_make_icon PRIVATE ${ZELLWORTH_WARNINGS})
set(ZELLWORTH_ICONS)
foreach(size ${ZELLWORTH_ICON_SIZES})
  set(icon ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}/zellworth.png)
  add_custom_command(OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}
    COMMAND zellworth_make_icon ${CMAKE_SOURCE_DIR}/assets/Common/Bird.png ${ZELLWORTH_BIRD_CELL_SIZE} ${size} ${icon}
    DEPENDS zellworth_make_icon ${CMAKE_SOURCE_DIR}/assets/Common/Bird.png
    COMMENT "Making the ${size}x${size} desktop icon from Bird.png")
  list(APPEND ZELLWORTH_ICONS ${icon})
  install(FILES ${icon} DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(zellworth_icon ALL DEPENDS ${ZELLWORTH_ICONS})
