# Installing the program (cmake --install) and packaging it (cpack -G DEB).
#
# Layout under the prefix:
#   bin/pokopen, bin/pokopen-cli
#   share/pokopen/manual/            the user manual (index.html), which the help command opens
#   share/applications/pokopen.desktop
#   share/mime/packages/pokopen-song.xml   the song file type (.kn2, .knb)
#   share/icons/hicolor/*/apps/pokopen.{png,svg}
#   share/doc/pokopen/copyright
include(GNUInstallDirs)

set(POKOPEN_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS pokopen-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${POKOPEN_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pokopen)

if(TARGET pokopen)
  install(TARGETS pokopen RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/manual/ DESTINATION ${CMAKE_INSTALL_DATADIR}/pokopen/manual)
  install(FILES ${POKOPEN_PACKAGING_DIR}/pokopen.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${POKOPEN_PACKAGING_DIR}/pokopen-song.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
  foreach(size 16 32 48 64 128 256)
    install(FILES ${POKOPEN_PACKAGING_DIR}/icons/pokopen-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME pokopen.png)
  endforeach()
  install(FILES ${POKOPEN_PACKAGING_DIR}/pokopen.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# Debian package: cpack -G DEB in the build folder. Library dependencies are found with
# dpkg-shlibdeps; the SoundFont and the fonts the windows are designed with are named here.
set(CPACK_PACKAGE_NAME pokopen)
set(CPACK_PACKAGE_VENDOR "Pokopen Sequencer developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "MIDI sequencer in which music is written as notes on a staff")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Pokopen Sequencer composes songs of up to 16 parts and 1000 measures by placing notes on\n"
       "a staff with the mouse, with dynamics, tempo and pan curves, key and time signatures,\n"
       "General MIDI instruments and transposing instruments. It plays songs through a built-in\n"
       "synthesizer and writes Standard MIDI Files. The user interface is Japanese.")
set(CPACK_PACKAGE_CONTACT "Pokopen Sequencer developers <pokopen@example.org>")
set(CPACK_PACKAGE_INSTALL_DIRECTORY pokopen)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "timgm6mb-soundfont | fluid-soundfont-gm, fonts-ipafont-gothic, fonts-ipafont-mincho")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fluid-soundfont-gm")
set(CPACK_STRIP_FILES ON)
include(CPack)
