# The source tree is layered: src/core (QtCore and nlohmann only) <- src/ui
# (Gui, Widgets, Network, DBus) <- src/app <- src/main. Each layer's include root
# is visible only to itself and the layers above it, so an include that runs up
# a layer does not compile; scripts/check-layers says which line did it.

# Adds every source of the layer's subsystem folders (one folder per subsystem).
function(korvane_layer_sources target layer_dir)
  cmake_parse_arguments(L "" "" "EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    ${layer_dir}/*.cpp ${layer_dir}/*.h)
  foreach(pattern IN LISTS L_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${pattern}")
  endforeach()
  target_sources(${target} PRIVATE ${sources})
endfunction()
