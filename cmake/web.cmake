# The game for the browser, compiled with Emscripten (web.sh runs emcmake): zellworth.js,
# zellworth.wasm and zellworth.data (the media), which web.sh puts into the site with the page.
set(ZELLWORTH_WEB_LIBS "" CACHE PATH "SDL2, SDL2_image and SDL2_mixer built for the browser (web/libs.sh)")
set(ZELLWORTH_WEB_MEDIA "" CACHE PATH "The media the page ships, packed into zellworth.data")
set(ZELLWORTH_WEB_MEDIA_LIST "" CACHE FILEPATH "Script naming those media (Module.shippedMedia)")
if(NOT EXISTS "${ZELLWORTH_WEB_LIBS}/lib/libSDL2.a" OR NOT EXISTS "${ZELLWORTH_WEB_MEDIA_LIST}")
  message(FATAL_ERROR "The browser build is made by ./web.sh, which builds the libraries and the media first")
endif()

# The game's functions that the page calls (web/page.js), one a line.
set(ZELLWORTH_PAGE_FUNCTIONS
  main
  pressBindingFromPage
  pressResumeKeyFromPage
  touchScreenForPage
  setSoundFromPage
  holdBoardTicketFromPage
  malloc
  free)

set(CMAKE_CXX_FLAGS_RELEASE "-O2")
add_library(zellworth_core STATIC ${ZELLWORTH_SOURCES})
target_include_directories(zellworth_core PUBLIC ${CMAKE_SOURCE_DIR}/src
                           ${ZELLWORTH_WEB_LIBS}/include/SDL2 ${ZELLWORTH_WEB_LIBS}/include)
target_link_libraries(zellworth_core PUBLIC ${ZELLWORTH_WEB_LIBS}/lib/libSDL2_mixer.a
                      ${ZELLWORTH_WEB_LIBS}/lib/libSDL2_image.a ${ZELLWORTH_WEB_LIBS}/lib/libSDL2.a)
target_compile_options(zellworth_core PRIVATE ${ZELLWORTH_WARNINGS})
target_compile_definitions(zellworth_core PRIVATE ZELLWORTH_VERSION="${PROJECT_VERSION}")

add_executable(zellworth src/main.cpp)
set_target_properties(zellworth PROPERTIES SUFFIX ".js")
target_link_libraries(zellworth PRIVATE zellworth_core)
target_compile_options(zellworth PRIVATE ${ZELLWORTH_WARNINGS})
# SDL's audio for the browser needs these runtime functions (a file: the build tools would take
# their "$" for a variable).
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/runtime-functions.json [=[["$autoResumeAudioContext", "$dynCall"]]=])
list(TRANSFORM ZELLWORTH_PAGE_FUNCTIONS PREPEND "_" OUTPUT_VARIABLE page_functions)
list(JOIN page_functions "," page_functions)
file(GLOB media CONFIGURE_DEPENDS ${ZELLWORTH_WEB_MEDIA}/*)
set(pre_js ${ZELLWORTH_WEB_MEDIA_LIST} ${CMAKE_SOURCE_DIR}/web/pre.js)
target_link_options(zellworth PRIVATE
  -O2 -sASYNCIFY -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=web -sINVOKE_RUN=0
  # The page's policy allows no script made from text at run time.
  -sDYNAMIC_EXECUTION=0
  "SHELL:-s EXPORTED_FUNCTIONS=${page_functions}"
  "SHELL:-s EXPORTED_RUNTIME_METHODS=FS,callMain,HEAPU8"
  "SHELL:-s DEFAULT_LIBRARY_FUNCS_TO_INCLUDE=@${CMAKE_CURRENT_BINARY_DIR}/runtime-functions.json"
  # The screens' waits end on the ticks of the frame clock (app/platform.cpp).
  -Wl,--wrap=SDL_Delay
  -lidbfs.js
  "SHELL:--pre-js ${ZELLWORTH_WEB_MEDIA_LIST}" "SHELL:--pre-js ${CMAKE_SOURCE_DIR}/web/pre.js"
  "SHELL:--preload-file ${ZELLWORTH_WEB_MEDIA}@/game/Common")
set_target_properties(zellworth PROPERTIES LINK_DEPENDS "${pre_js};${media}")
