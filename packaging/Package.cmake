# Install rules and the Debian package (`cpack -G DEB` in the build folder,
# or scripts/package-deb.sh). Included by the top-level CMakeLists.txt on
# everything but Windows.
include(GNUInstallDirs)

set(TW_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tw-cli-ui)

# Manual pages and the changelog are installed compressed, as Debian wants
# them; -n keeps the name and time out, so the package is reproducible.
find_program(TW_GZIP gzip REQUIRED)
set(TW_COMPRESSED)
foreach(source TW-CLI-UI.1 tw-cli-ui-node.1 changelog)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/packaging/${source}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
    COMMAND ${TW_GZIP} -9nc ${CMAKE_CURRENT_SOURCE_DIR}/packaging/${source} > ${output}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/${source} VERBATIM)
  list(APPEND TW_COMPRESSED ${output})
endforeach()
add_custom_target(tw_packaging_files ALL DEPENDS ${TW_COMPRESSED})

install(TARGETS TW-CLI-UI RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# tw-cli-ui-node add NAME: a named link and menu entry per extra node.
install(PROGRAMS packaging/tw-cli-ui-node DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/${TW_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/${TW_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES packaging/${TW_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
  install(FILES packaging/icons/${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${TW_APP_ID}.png)
endforeach()
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/TW-CLI-UI.1.gz
              ${CMAKE_CURRENT_BINARY_DIR}/packaging/tw-cli-ui-node.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The licence goes in as Debian's machine-readable copyright file.
install(FILES README.md packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${TW_DOC_DIR})
# The manual with its pictures beside it, as it links them.
install(FILES docs/MANUAL.md DESTINATION ${TW_DOC_DIR})
install(DIRECTORY docs/ DESTINATION ${TW_DOC_DIR} FILES_MATCHING PATTERN "*.png")

# The Debian package: tw-cli-ui_<version>_<arch>.deb
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tw-cli-ui)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_CONTACT "TW-CLI-UI developers <tw-cli-ui@users.noreply.github.com>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/tw-cli-ui/tw-cli-ui)
# Libraries as dpkg-shlibdeps finds them; the fonts whose metrics the
# windows' captions are laid out for (Liberation Sans stands in for Arial).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
# The first line is the synopsis; cpack indents the rest and turns the
# empty line into the paragraph mark.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "control panel for one Bitcoin-family full node
TW-CLI-UI shows, at a glance and without a terminal, the block count and
the number of peer connections of a Bitcoin-family full node (Bitcoin
Core, Litecoin, Dash and the like), and whether the node's command-line
client is running. It asks the node through the node's own command-line
client, by button or every minute, can rewrite a file with the block count
and run a command after each query, and runs automation cycles that query
the node or stop it and wait until its wallet and daemon have exited.

It keeps one configuration per program name, so several nodes can be
watched side by side (tw-cli-ui-node adds a named entry per node).")
include(CPack)
