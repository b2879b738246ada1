# Compiles through ccache when it is installed: a build folder made again from nothing (CI's
# fresh machine, a second preset, a clean checkout) then takes its objects from the cache.
#
# The cache is told to leave the folders out of what it compares: base_dir makes the paths
# under the checkout relative, and hash_dir=false keeps the build folder's own path out, so
# two presets that compile a file with the same flags (native and core) share it, and so do
# two checkouts. The price is that the debug information of an object taken from the cache
# may name the build folder it was first compiled in.
option(TAVRIN_CCACHE "Compile through ccache when it is installed" ON)
if(TAVRIN_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  find_program(TAVRIN_CCACHE_PROGRAM ccache)
  if(TAVRIN_CCACHE_PROGRAM)
    set(tavrin_launcher ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${CMAKE_SOURCE_DIR}
                        CCACHE_NOHASHDIR=1 ${TAVRIN_CCACHE_PROGRAM})
    set(CMAKE_C_COMPILER_LAUNCHER ${tavrin_launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${tavrin_launcher})
  endif()
endif()
