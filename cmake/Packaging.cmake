# What an installation carries beside the programs (manual pages, shell
# completion, licence, AppStream metadata, the report schema) and the Debian
# package that cpack makes of it:
#   cmake -S . -B build -DCMAKE_INSTALL_PREFIX=/usr && cmake --build build && cd build && cpack -G DEB
include(GNUInstallDirs)

# The Debian way: three packages, one CPack component each.
#   torvo-cli      (cli)    the command line, the codec database, the GStreamer and PNG modules; no Qt
#   torvo          (gui)    the window, depends on torvo-cli
#   python3-torvo  (python) the Python module, depends on torvo-cli
# Each package has its own documentation folder (copyright, changelog).
set(TORVO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/torvo-cli)
set(TORVO_COMPONENTS cli gui python)
set(TORVO_PACKAGES torvo-cli torvo python3-torvo)

# Manual pages from their scdoc sources, compressed as Debian ships them.
find_program(SCDOC_PROGRAM scdoc)
find_program(GZIP_PROGRAM gzip)
if(SCDOC_PROGRAM AND GZIP_PROGRAM)
  set(manPages)
  foreach(page torvo-cli torvo)
    set(source ${PROJECT_SOURCE_DIR}/docs/man/${page}.1.scd)
    set(output ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND ${SCDOC_PROGRAM} < ${source} > ${PROJECT_BINARY_DIR}/man/${page}.1
      COMMAND ${GZIP_PROGRAM} -9nf ${PROJECT_BINARY_DIR}/man/${page}.1
      DEPENDS ${source}
      COMMENT "Manual page ${page}(1)"
      VERBATIM)
    list(APPEND manPages ${output})
  endforeach()
  add_custom_target(torvo_man ALL DEPENDS ${manPages})
  install(FILES ${PROJECT_BINARY_DIR}/man/torvo-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli)
  install(FILES ${PROJECT_BINARY_DIR}/man/torvo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT gui)
else()
  message(WARNING "scdoc or gzip not found: the manual pages are not built (apt install scdoc)")
endif()

install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/torvo-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME torvo-cli)
install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/torvo-cli.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/_torvo-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/org.quellmark.Torvo.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT gui)
install(FILES ${PROJECT_SOURCE_DIR}/docs/torvo-report.schema.json DESTINATION ${TORVO_DOC_DIR})

# A native Debian package carries its changelog, compressed, beside the copyright.
if(GZIP_PROGRAM)
  set(changelog ${PROJECT_BINARY_DIR}/changelog.gz)
  add_custom_command(OUTPUT ${changelog}
    COMMAND ${GZIP_PROGRAM} -9nc ${PROJECT_SOURCE_DIR}/docs/changelog > ${changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/changelog
    COMMENT "Package changelog")
  add_custom_target(torvo_changelog ALL DEPENDS ${changelog})
endif()
foreach(component package IN ZIP_LISTS TORVO_COMPONENTS TORVO_PACKAGES)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
          RENAME copyright COMPONENT ${component})
  if(GZIP_PROGRAM)
    install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  endif()
endforeach()

# The Debian packages: library dependencies from dpkg-shlibdeps, plus the
# GStreamer plugins the codec status, the render test and playback rely on.
set(CPACK_PACKAGE_NAME torvo)
set(CPACK_PACKAGE_VENDOR "Torvo developers")
# The address is a placeholder under the reserved .invalid domain, as the
# homepage is; whoever publishes the package sets a real one.
set(TORVO_PACKAGE_MAINTAINER "Torvo developers <dev@torvo.invalid>" CACHE STRING "Maintainer of the Debian package")
set(CPACK_PACKAGE_CONTACT "${TORVO_PACKAGE_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli gui)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://torvo.invalid/")
set(CPACK_STRIP_FILES ON)
set(same_cli "torvo-cli (= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_CLI_PACKAGE_NAME torvo-cli)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_CLI_DESCRIPTION "codec information for media files (command line)
Torvo identifies media files by their content, reads their container and
stream headers, names the video and audio codecs and tells whether a decoder
for each stream is installed. This package holds the command-line tool
torvo-cli (text, JSON Lines and template output), the codec database and the
GStreamer module; it needs no display.")
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav")
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS "gstreamer1.0-plugins-bad, gstreamer1.0-plugins-ugly")

set(CPACK_DEBIAN_GUI_PACKAGE_NAME torvo)
set(CPACK_COMPONENT_GUI_DESCRIPTION "codec information for media files (window)
Torvo identifies media files by their content, reads their container and
stream headers, names the video and audio codecs and tells whether a decoder
for each stream is installed. This package holds the window: panels with
indicator lamps, the GOP picture, the render test and playback.")
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "${same_cli}, gstreamer1.0-x, qt6-qpa-plugins")
set(CPACK_DEBIAN_GUI_PACKAGE_RECOMMENDS "gstreamer1.0-pulseaudio")

# The Python module is built for one interpreter version; torvo.dask needs Dask and pandas.
if(TORVO_PYTHON_MODULE AND NOT TORVO_PYTHON_WHEEL)
  list(APPEND CPACK_COMPONENTS_ALL python)
  math(EXPR next_minor "${Python_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-torvo)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  set(CPACK_COMPONENT_PYTHON_DESCRIPTION "codec information for media files (Python module)
Torvo identifies media files by their content, reads their container and
stream headers, names the video and audio codecs and tells whether a decoder
for each stream is installed. This package holds the Python module torvo
(reports as dicts, with torvo.dask for whole collections on a Dask cluster).")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
    "${same_cli}, python3 (>= ${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}), python3 (<< ${Python_VERSION_MAJOR}.${next_minor})")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SUGGESTS "python3-dask, python3-distributed, python3-pandas")
endif()
include(CPack)
