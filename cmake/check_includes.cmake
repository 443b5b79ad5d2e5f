# Fails when a source file includes a folder that its own folder may not depend on.
#
# The layers, lowest first; a folder may include its own headers and those of every
# lower layer, never those of its own layer's other folders or of a higher one:
#   1  platform                 the thin layer over Linux
#   2  gpx, power               overlay collections and readers; display power
#   3  state                    the shared records: the map view
#   4  settings, png, gps       the settings file, the tile decoder, the receiver and track log
#   5  map                      projection, tile mosaic, frames, overlays
#   6  app                      the program: may include anything, so it is not checked;
#                               only it, the tools, the tests and the benchmarks
#                               include app/
# resources sits beside the chain: the embedded images, over platform only; app alone
# includes it.
# Run as: cmake -DROOT=<source dir> -P check_includes.cmake
set(layer1 "platform")
set(layer2 "gpx;power")
set(layer3 "state")
set(layer4 "settings;png;gps")
set(layer5 "map")

set(failures "")
function(check folder allowed)
  file(GLOB_RECURSE sources ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
  foreach(src ${sources})
    file(STRINGS ${src} lines REGEX "^#include \"")
    foreach(line ${lines})
      string(REGEX REPLACE "^#include \"([^\"]*)\".*" "\\1" inc "${line}")
      set(ok FALSE)
      foreach(dep ${allowed})
        string(LENGTH "${dep}/" len)
        string(SUBSTRING "${inc}" 0 ${len} head)
        if(head STREQUAL "${dep}/")
          set(ok TRUE)
        endif()
      endforeach()
      if(NOT ok)
        file(RELATIVE_PATH rel ${ROOT} ${src})
        list(APPEND failures "${rel}: ${line}")
      endif()
    endforeach()
  endforeach()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

set(below "")
foreach(n 1 2 3 4 5)
  foreach(folder ${layer${n}})
    check(${folder} "${folder};${below}")
  endforeach()
  list(APPEND below ${layer${n}})
endforeach()
check(resources "resources;platform")
if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "includes against the layering:\n  ${text}")
endif()
