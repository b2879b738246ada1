# What `cmake --install` lays out, and the Debian package CPack makes of it (`cpack -G DEB`
# in a native build folder). Included once from the top-level CMakeLists.txt.
#
# The launcher finds everything beside its own file (/proc/self/exe, links resolved): the
# Ruffle folder and config.ini. So the programs live together in a folder of their own,
# <libexecdir>/tavrin, with ruffle/ beside them, and <bindir> holds links to them. config.ini
# beside them is a link to <sysconfdir>/tavrin/config.ini, where an administrator expects a
# system-wide setting (and where dpkg keeps the operator's edits across upgrades).
include(GNUInstallDirs)

if(WIN32 OR NOT TAVRIN_BUILD_UI)
  return()
endif()

set(TAVRIN_INSTALL_HOME "${CMAKE_INSTALL_LIBEXECDIR}/tavrin")
set(tavrin_packaging "${CMAKE_CURRENT_LIST_DIR}/linux")
set(TAVRIN_APP_ID "example.tavrin.Launcher")

install(TARGETS tavrin tavrin-tool tavrin-update RUNTIME DESTINATION "${TAVRIN_INSTALL_HOME}")
if(TARGET ruffle_files)
  install(DIRECTORY "${TAVRIN_RUFFLE_DIR}/" DESTINATION "${TAVRIN_INSTALL_HOME}/ruffle"
          FILES_MATCHING PATTERN "*.js" PATTERN "*.wasm")
  install(FILES "${TAVRIN_RUFFLE_PACKAGE}/LICENSE_MIT" "${TAVRIN_RUFFLE_PACKAGE}/LICENSE_APACHE"
          DESTINATION "${CMAKE_INSTALL_DOCDIR}/ruffle" OPTIONAL)
else()
  message(WARNING "Ruffle is not built: an install would hold no Flash player")
endif()

# The links are made when installing, under whatever prefix (and DESTDIR) that is, so a trial
# install under /tmp/x stays inside /tmp/x. For the prefix /usr the configuration goes to /etc,
# as GNUInstallDirs does for that prefix.
string(CONFIGURE [[
  set(prefix "${CMAKE_INSTALL_PREFIX}")
  set(etc "${prefix}/etc")
  if(prefix STREQUAL "/usr" OR prefix STREQUAL "/")
    set(etc "/etc")
  endif()
  set(home "${prefix}/@TAVRIN_INSTALL_HOME@")
  # file(INSTALL) adds DESTDIR itself; the link commands below do not.
  file(INSTALL "@TAVRIN_CONFIG_INI@" DESTINATION "${etc}/tavrin" RENAME config.ini)
  function(tavrin_link target link)
    get_filename_component(from "${link}" DIRECTORY)
    file(RELATIVE_PATH relative "${from}" "${target}")
    file(MAKE_DIRECTORY "$ENV{DESTDIR}${from}")
    message(STATUS "Installing link: $ENV{DESTDIR}${link} -> ${relative}")
    file(CREATE_LINK "${relative}" "$ENV{DESTDIR}${link}" SYMBOLIC)
  endfunction()
  tavrin_link("${etc}/tavrin/config.ini" "${home}/config.ini")
  tavrin_link("${home}/tavrin" "${prefix}/@CMAKE_INSTALL_BINDIR@/tavrin")
  tavrin_link("${home}/tavrin-tool" "${prefix}/@CMAKE_INSTALL_BINDIR@/tavrin-tool")
]] tavrin_install_links @ONLY)
install(CODE "${tavrin_install_links}")

# Desktop entry, metainfo and the operator's notes, under the operator's name and publisher
# when the build has them (TAVRIN_PRODUCT_NAME, TAVRIN_PUBLISHER).
set(tavrin_name "Tavrin")
set(tavrin_name_zh "Tavrin 游戏登录器")
set(tavrin_publisher "Tavrin developers")
if(TAVRIN_PRODUCT_NAME)
  set(tavrin_name "${TAVRIN_PRODUCT_NAME}")
  set(tavrin_name_zh "${TAVRIN_PRODUCT_NAME}")
endif()
if(TAVRIN_PUBLISHER)
  set(tavrin_publisher "${TAVRIN_PUBLISHER}")
endif()
foreach(text tavrin_name tavrin_name_zh tavrin_publisher)
  string(REPLACE "&" "&amp;" ${text}_xml "${${text}}")
  string(REPLACE "<" "&lt;" ${text}_xml "${${text}_xml}")
  string(REPLACE ">" "&gt;" ${text}_xml "${${text}_xml}")
endforeach()
configure_file("${tavrin_packaging}/${TAVRIN_APP_ID}.desktop.in"
               "${CMAKE_BINARY_DIR}/packaging/${TAVRIN_APP_ID}.desktop" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/packaging/${TAVRIN_APP_ID}.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
# The release date is the build's (SOURCE_DATE_EPOCH, when set, makes it reproducible).
string(TIMESTAMP TAVRIN_RELEASE_DATE "%Y-%m-%d" UTC)
configure_file("${tavrin_packaging}/${TAVRIN_APP_ID}.metainfo.xml.in"
               "${CMAKE_BINARY_DIR}/packaging/${TAVRIN_APP_ID}.metainfo.xml" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/packaging/${TAVRIN_APP_ID}.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES "${tavrin_packaging}/README.operators"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")

# Icons in the hicolor theme, scaled down from the launcher's own icon (256 x 256).
set(tavrin_icon "${CMAKE_SOURCE_DIR}/res/128.png")
set(tavrin_icon_sizes 16 22 24 32 48 64 128)
find_program(TAVRIN_CONVERT convert)
install(FILES "${tavrin_icon}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps"
        RENAME tavrin.png)
if(TAVRIN_CONVERT)
  set(icons)
  foreach(size IN LISTS tavrin_icon_sizes)
    set(icon "${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}/tavrin.png")
    add_custom_command(OUTPUT "${icon}"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}"
      COMMAND "${TAVRIN_CONVERT}" "${tavrin_icon}" -filter Lanczos -resize ${size}x${size}
              -strip "PNG32:${icon}"
      DEPENDS "${tavrin_icon}" VERBATIM)
    list(APPEND icons "${icon}")
    install(FILES "${icon}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
  endforeach()
  add_custom_target(tavrin_icons ALL DEPENDS ${icons})
else()
  message(WARNING "ImageMagick's convert not found: only the 256 x 256 icon is installed")
endif()

# The Debian package.
set(CPACK_PACKAGE_NAME tavrin)
# An operator's own numbering of their build (TAVRIN_VERSION), as the program says it.
set(CPACK_PACKAGE_VERSION "${TAVRIN_VERSION}")
set(CPACK_PACKAGE_VENDOR "${tavrin_publisher}")
set(CPACK_PACKAGE_CONTACT "Tavrin developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop launcher for a browser-based Flash game")
file(READ "${tavrin_packaging}/description.txt" tavrin_description)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${tavrin_description}")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tavrin developers")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tavrin.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The debugging symbols stay in the build folder; the package would be four times larger.
set(CPACK_STRIP_FILES ON)
# What the launcher loads at run time, which dpkg-shlibdeps cannot see: libcurl (dlopen; 7.85
# or later, whose protocol limits it sets), the system's CA bundle (https), a Chinese font (the
# game's device fonts), Qt's Chinese translations (the dialogs).
# (The helper process comes with libqt6webenginecore6's own shlibs entry.)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4 (>= 7.85.0), libpsl5, publicsuffix, ca-certificates, fonts-noto-cjk, qt6-translations-l10n")
# Links the player opens go to the default browser through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${tavrin_packaging}/conffiles")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
