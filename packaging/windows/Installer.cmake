# The setup program for Windows, TW-CLI-UI-<version>-setup.exe in the build
# folder: makensis (Debian's nsis) runs on the build machine over
# packaging/windows/TW-CLI-UI.nsi with the stripped program, the licence, the
# Windows README and the manual with its pictures. tw_setup builds it with
# the rest. Included by the top-level
# CMakeLists.txt for Windows builds.
# The Windows README and the licence with Windows' line ends, for Notepad;
# the zip (scripts/build-windows.sh) takes them from here too.
set(TW_SETUP_WORK ${CMAKE_BINARY_DIR}/packaging/windows)
set(TW_VERSION ${PROJECT_VERSION})
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/README.txt ${TW_SETUP_WORK}/README.txt
  @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${TW_SETUP_WORK}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)

find_program(TW_MAKENSIS makensis)
if(NOT TW_MAKENSIS)
  message(STATUS "makensis not found: no setup program (install nsis)")
  return()
endif()

set(TW_SETUP ${CMAKE_BINARY_DIR}/TW-CLI-UI-${PROJECT_VERSION}-setup.exe)

# The manual and its pictures, side by side as the manual links them: what
# the setup program installs, and what its uninstaller deletes by name.
file(GLOB TW_PICTURES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.png)
set(TW_DOCUMENTS ${CMAKE_SOURCE_DIR}/docs/MANUAL.md ${TW_PICTURES})
set(install_lines "")
set(remove_lines "")
foreach(document ${TW_DOCUMENTS})
  get_filename_component(name ${document} NAME)
  string(APPEND install_lines "    File \"${document}\"\n")
  string(APPEND remove_lines "    Delete \"$INSTDIR\\${name}\"\n")
endforeach()
file(WRITE ${TW_SETUP_WORK}/documents.nsh.in
  "!macro InstallDocuments\n${install_lines}!macroend\n"
  "!macro RemoveDocuments\n${remove_lines}!macroend\n")
configure_file(${TW_SETUP_WORK}/documents.nsh.in ${TW_SETUP_WORK}/documents.nsh COPYONLY)

add_custom_command(OUTPUT ${TW_SETUP}
  COMMAND ${CMAKE_STRIP} -o ${TW_SETUP_WORK}/TW-CLI-UI.exe $<TARGET_FILE:TW-CLI-UI>
  COMMAND ${TW_MAKENSIS} -V2 -WX -INPUTCHARSET UTF8
          -DVERSION=${PROJECT_VERSION}
          -DVERSION4=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0
          -DPROGRAM=${TW_SETUP_WORK}/TW-CLI-UI.exe
          -DTEXTS=${TW_SETUP_WORK}
          -DDOCUMENTS=${TW_SETUP_WORK}/documents.nsh
          -DOUTFILE=${TW_SETUP}
          ${CMAKE_SOURCE_DIR}/packaging/windows/TW-CLI-UI.nsi
  DEPENDS TW-CLI-UI ${CMAKE_SOURCE_DIR}/packaging/windows/TW-CLI-UI.nsi
          ${TW_SETUP_WORK}/README.txt ${TW_SETUP_WORK}/LICENSE.txt
          ${TW_SETUP_WORK}/documents.nsh ${TW_DOCUMENTS}
  COMMENT "makensis: TW-CLI-UI-${PROJECT_VERSION}-setup.exe"
  VERBATIM)
add_custom_target(tw_setup ALL DEPENDS ${TW_SETUP})
