# Installs the current build into a scratch prefix and checks what a user gets: the programs, the
# manual, the desktop entry, the song file type and the icons; then runs the installed
# pokopen-cli on the sample song shipped with the manual.
# Variables: BUILD (the build folder), PREFIX (scratch prefix), GUI (ON when pokopen is built).
set(ENV{DESTDIR} "")
file(REMOVE_RECURSE "${PREFIX}")

execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}${err}")
endif()

set(expected bin/pokopen-cli share/doc/pokopen/copyright)
if(GUI)
  list(APPEND expected
       bin/pokopen
       share/pokopen/manual/index.html
       share/pokopen/manual/manual.css
       share/pokopen/manual/sample/kirakira.kn2
       share/applications/pokopen.desktop
       share/mime/packages/pokopen-song.xml
       share/icons/hicolor/scalable/apps/pokopen.svg)
  foreach(size 16 32 48 64 128 256)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/pokopen.png)
  endforeach()
endif()
foreach(f IN LISTS expected)
  if(NOT EXISTS "${PREFIX}/${f}")
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

# The installed command-line tool reads the installed sample song and exports it.
set(cli "${PREFIX}/bin/pokopen-cli")
set(song "${PREFIX}/share/pokopen/manual/sample/kirakira.kn2")
if(GUI)
  execute_process(COMMAND "${cli}" info "${song}" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "rows: 86 50 ")
    message(FATAL_ERROR "installed pokopen-cli info: exit ${rc}\n${out}${err}")
  endif()
  execute_process(COMMAND "${cli}" export-midi "${song}" "${PREFIX}/kirakira.mid"
                  RESULT_VARIABLE rc ERROR_VARIABLE err)
  file(READ "${PREFIX}/kirakira.mid" head LIMIT 4 HEX)
  if(NOT rc EQUAL 0 OR NOT head STREQUAL "4d546864")
    message(FATAL_ERROR "installed pokopen-cli export-midi: exit ${rc}, file starts ${head}\n${err}")
  endif()

  # The desktop entry starts the installed program with the file and names the icon and type.
  file(READ "${PREFIX}/share/applications/pokopen.desktop" desktop)
  foreach(line "Type=Application" "Exec=pokopen %f" "Icon=pokopen" "MimeType=application/x-pokopen-song;"
               "Name[ja]=ぽこぺんシーケンサ")
    string(FIND "${desktop}" "\n${line}\n" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "pokopen.desktop lacks the line: ${line}")
    endif()
  endforeach()

  # The entry is one the desktops accept (desktop-file-utils, installed by scripts/install-deps).
  find_program(DESKTOP_FILE_VALIDATE desktop-file-validate REQUIRED)
  execute_process(COMMAND "${DESKTOP_FILE_VALIDATE}" "${PREFIX}/share/applications/pokopen.desktop"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "desktop-file-validate rejects pokopen.desktop (${rc}):\n${out}${err}")
  endif()

  # The song type compiles into a MIME database that maps both extensions to it.
  find_program(UPDATE_MIME update-mime-database)
  if(UPDATE_MIME)
    execute_process(COMMAND "${UPDATE_MIME}" "${PREFIX}/share/mime" RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT EXISTS "${PREFIX}/share/mime/application/x-pokopen-song.xml")
      message(FATAL_ERROR "update-mime-database did not take pokopen-song.xml (${rc}):\n${err}")
    endif()
    file(READ "${PREFIX}/share/mime/globs2" globs)
    foreach(ext kn2 knb)
      if(NOT globs MATCHES "application/x-pokopen-song:\\*\\.${ext}")
        message(FATAL_ERROR "the MIME database does not map *.${ext}:\n${globs}")
      endif()
    endforeach()
  endif()
else()
  execute_process(COMMAND "${cli}" RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(NOT rc EQUAL 2)
    message(FATAL_ERROR "installed pokopen-cli without arguments: exit ${rc}, expected 2")
  endif()
endif()
