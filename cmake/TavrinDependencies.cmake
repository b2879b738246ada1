# Finds the libraries the core and the tests use. Natively they come from Debian's -dev
# packages. The Windows cross-build has no such packages for mingw-w64, so it compiles
# tinyxml2, minizip, libpsl and GoogleTest from Debian's source packages, which scripts/fetch-win-deps.sh
# unpacks into TAVRIN_WIN_DEPS_DIR (never committed), and links the static OpenSSL that the
# same script builds there.

# JSON, for what the player page and the launcher say to each other. The library is headers
# only, so the Windows build reads Debian's copy too, through a folder that holds nothing
# else (the host's include folder would bring its C library's headers into the cross-build).
if(WIN32)
  set(tavrin_json_root "${CMAKE_BINARY_DIR}/json-include")
  file(MAKE_DIRECTORY "${tavrin_json_root}")
  if(NOT EXISTS "${tavrin_json_root}/nlohmann")
    file(CREATE_LINK /usr/include/nlohmann "${tavrin_json_root}/nlohmann" SYMBOLIC)
  endif()
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE "${tavrin_json_root}")
else()
  find_package(nlohmann_json 3 REQUIRED)
endif()

if(WIN32)
  set(TAVRIN_WIN_DEPS_DIR "${CMAKE_SOURCE_DIR}/build/win-deps" CACHE PATH
      "tinyxml2, minizip, libpsl and HarfBuzz sources, and the built OpenSSL, for the Windows cross-build")
  if(NOT EXISTS "${TAVRIN_WIN_DEPS_DIR}/tinyxml2/tinyxml2.cpp" OR
     NOT EXISTS "${TAVRIN_WIN_DEPS_DIR}/minizip/unzip.c" OR
     NOT EXISTS "${TAVRIN_WIN_DEPS_DIR}/libpsl/suffixes_dafsa.h" OR
     NOT EXISTS "${TAVRIN_WIN_DEPS_DIR}/harfbuzz/harfbuzz-subset.cc" OR
     NOT EXISTS "${TAVRIN_WIN_DEPS_DIR}/openssl/include/openssl/ssl.h")
    message(FATAL_ERROR "tinyxml2, minizip, libpsl, HarfBuzz or OpenSSL not found in ${TAVRIN_WIN_DEPS_DIR}; "
                        "run scripts/fetch-win-deps.sh first")
  endif()
  add_library(tinyxml2 STATIC "${TAVRIN_WIN_DEPS_DIR}/tinyxml2/tinyxml2.cpp")
  target_include_directories(tinyxml2 SYSTEM PUBLIC "${TAVRIN_WIN_DEPS_DIR}/tinyxml2")
  add_library(tinyxml2::tinyxml2 ALIAS tinyxml2)
  find_package(ZLIB REQUIRED)
  set(minizip_dir "${TAVRIN_WIN_DEPS_DIR}/minizip")
  add_library(minizip STATIC "${minizip_dir}/ioapi.c" "${minizip_dir}/unzip.c" "${minizip_dir}/zip.c")
  target_include_directories(minizip SYSTEM PUBLIC "${minizip_dir}/include"
                                           PRIVATE "${minizip_dir}/include/minizip")
  target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
  add_library(minizip::minizip ALIAS minizip)

  # HarfBuzz's subsetter as its own single-file build; optimised whatever the build type,
  # since the font is cut at every start without a cached subset.
  add_library(harfbuzz_subset STATIC "${TAVRIN_WIN_DEPS_DIR}/harfbuzz/harfbuzz-subset.cc")
  target_include_directories(harfbuzz_subset SYSTEM PUBLIC "${TAVRIN_WIN_DEPS_DIR}/harfbuzz")
  target_compile_options(harfbuzz_subset PRIVATE -O2 -w)
  add_library(harfbuzz::subset ALIAS harfbuzz_subset)
  # The public suffix list, built in: no IDN library (game servers have ASCII names).
  set(psl_dir "${TAVRIN_WIN_DEPS_DIR}/libpsl")
  add_library(psl STATIC "${psl_dir}/psl.c" "${psl_dir}/lookup_string_in_fixed_set.c")
  target_include_directories(psl SYSTEM PUBLIC "${psl_dir}")
  target_compile_definitions(psl PUBLIC PSL_STATIC PRIVATE BUILDING_PSL ENABLE_BUILTIN
                             PACKAGE_VERSION="libpsl")
  target_compile_options(psl PRIVATE -w)
  target_link_libraries(psl PUBLIC ws2_32)
  add_library(psl::psl ALIAS psl)
  # TLS for the downloader, and the digests and signatures of verified updates. The
  # toolchain confines searches to the mingw-w64 root, so the built OpenSSL joins the roots
  # for this one search.
  set(OPENSSL_ROOT_DIR "${TAVRIN_WIN_DEPS_DIR}/openssl")
  set(OPENSSL_USE_STATIC_LIBS TRUE)
  set(tavrin_find_root_path ${CMAKE_FIND_ROOT_PATH})
  list(APPEND CMAKE_FIND_ROOT_PATH "${OPENSSL_ROOT_DIR}")
  find_package(OpenSSL 3.0 REQUIRED)
  set(CMAKE_FIND_ROOT_PATH ${tavrin_find_root_path})
  # What the static libraries call in Windows besides the ws2_32 and crypt32 FindOpenSSL
  # adds: the random generator and the event log (advapi32), and the window station check
  # before reporting a fatal error (user32).
  target_link_libraries(OpenSSL::Crypto INTERFACE advapi32 user32)
else()
  find_package(tinyxml2 CONFIG REQUIRED)
  # Debian's libminizip-dev: <minizip/unzip.h> over zlib.
  find_library(MINIZIP_LIBRARY minizip REQUIRED)
  find_package(ZLIB REQUIRED)
  add_library(minizip::minizip INTERFACE IMPORTED)
  target_link_libraries(minizip::minizip INTERFACE ${MINIZIP_LIBRARY} ZLIB::ZLIB)
  find_package(CURL REQUIRED)
  # TLS for the downloader, and the digests and signatures of verified updates.
  find_package(OpenSSL 3.0 REQUIRED)
  # Finding a font that draws Chinese for the game's device-font text.
  find_package(Fontconfig REQUIRED)
  # The public suffix list: which part of a host name its owner registered.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(PSL REQUIRED IMPORTED_TARGET libpsl)
  add_library(psl::psl ALIAS PkgConfig::PSL)
  # Cutting the Chinese font down to what game text uses, for the player.
  pkg_check_modules(HB_SUBSET REQUIRED IMPORTED_TARGET harfbuzz-subset)
  add_library(harfbuzz::subset ALIAS PkgConfig::HB_SUBSET)
endif()

if(TAVRIN_BUILD_TESTS)
  if(WIN32)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    # GoogleTest's own project defines the GTest:: names.
    add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
  else()
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
endif()

if(TAVRIN_BUILD_UI)
  find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets WebEngineWidgets WebChannel Test)
endif()
