# The artwork drawn by res/draw_artwork.py, compiled into corvane_core under :/corvane/.
# Qt links the resources of a static library as an object library that travels with it, so
# the program, the tests and the benchmarks all see them without Q_INIT_RESOURCE.
set(CORVANE_ART_FILES skin.png)
foreach(size 16 22 24 32)
  foreach(state idle receive send both)
    list(APPEND CORVANE_ART_FILES icons/${state}-${size}.png)
  endforeach()
endforeach()
foreach(size 16 22 24 32 48 64 128 256)
  list(APPEND CORVANE_ART_FILES icons/corvane-${size}.png)
endforeach()

list(TRANSFORM CORVANE_ART_FILES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)

qt_add_resources(corvane_core corvane_art
  PREFIX /corvane
  BASE ${CMAKE_CURRENT_LIST_DIR}
  FILES ${CORVANE_ART_FILES})
