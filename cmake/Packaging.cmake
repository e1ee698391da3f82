# What an installation carries beside the programs (manual pages, shell
# completion, licence, AppStream metadata, the report schema) and the Debian
# package that cpack makes of it:
#   cmake -S . -B build -DCMAKE_INSTALL_PREFIX=/usr && cmake --build build && cd build && cpack -G DEB
include(GNUInstallDirs)

set(TORVO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/torvo)

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
  install(FILES ${manPages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "scdoc or gzip not found: the manual pages are not built (apt install scdoc)")
endif()

install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/torvo-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME torvo-cli)
install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/torvo-cli.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/_torvo-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/org.quellmark.Torvo.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${TORVO_DOC_DIR} RENAME copyright)
install(FILES ${PROJECT_SOURCE_DIR}/docs/torvo-report.schema.json DESTINATION ${TORVO_DOC_DIR})

# A native Debian package carries its changelog, compressed, beside the copyright.
if(GZIP_PROGRAM)
  set(changelog ${PROJECT_BINARY_DIR}/changelog.gz)
  add_custom_command(OUTPUT ${changelog}
    COMMAND ${GZIP_PROGRAM} -9nc ${PROJECT_SOURCE_DIR}/docs/changelog > ${changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/changelog
    COMMENT "Package changelog")
  add_custom_target(torvo_changelog ALL DEPENDS ${changelog})
  install(FILES ${changelog} DESTINATION ${TORVO_DOC_DIR})
endif()

# The Debian package: library dependencies from dpkg-shlibdeps, plus the
# GStreamer plugins the codec status, the render test and playback rely on.
set(CPACK_PACKAGE_NAME torvo)
set(CPACK_PACKAGE_VENDOR "Torvo developers")
# The address is a placeholder under the reserved .invalid domain, as the
# homepage is; whoever publishes the package sets a real one.
set(TORVO_PACKAGE_MAINTAINER "Torvo developers <dev@torvo.invalid>" CACHE STRING "Maintainer of the Debian package")
set(CPACK_PACKAGE_CONTACT "${TORVO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "codec information for media files")
set(CPACK_PACKAGE_DESCRIPTION "Torvo identifies media files by their content, reads their container and
stream headers, names the video and audio codecs and tells whether a decoder
for each stream is installed. It comes as a window (torvo) and as a
command-line tool (torvo-cli) with typed JSON output, and as a Python module
(torvo, with torvo.dask for whole collections on a Dask cluster).")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav, gstreamer1.0-x, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-plugins-bad, gstreamer1.0-plugins-ugly, gstreamer1.0-pulseaudio")
# The Python module is built for one interpreter version; torvo.dask needs Dask and pandas.
if(TORVO_PYTHON_MODULE)
  math(EXPR next_minor "${Python_VERSION_MINOR} + 1")
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
    ", python3 (>= ${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}), python3 (<< ${Python_VERSION_MAJOR}.${next_minor})")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-dask, python3-distributed, python3-pandas")
endif()
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://torvo.invalid/")
set(CPACK_STRIP_FILES ON)
include(CPack)
